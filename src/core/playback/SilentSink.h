#pragma once
// An audio sink without a device: it consumes the buffers written to it at the real-time pace of
// their format, on a thread of its own, and reports each one played. The player falls back to it
// when the sound output cannot be opened, so that playback keeps its pace and its position without
// sound; the benchmarks play through it.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "ports/AudioSink.h"

namespace recdesk::playback {

class SilentSink : public ports::AudioSink {
 public:
  SilentSink() = default;
  ~SilentSink() override;
  SilentSink(const SilentSink&) = delete;
  SilentSink& operator=(const SilentSink&) = delete;

  void setBufferDone(BufferDone done) override;
  bool open(std::uint32_t rate, int bits, int channels) override;
  void close() override;
  void write(const std::uint8_t* data, std::size_t bytes) override;
  std::size_t queuedBytes() const override;
  void pause() override;
  void resume() override;
  void reset() override;
  void drain() override;

 private:
  using Clock = std::chrono::steady_clock;
  void run();
  // Bytes of the front buffer already played (the clock runs while not paused).
  std::size_t playedOfFront(Clock::time_point now) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  BufferDone done_;
  std::deque<std::size_t> queue_;  // sizes of the buffers written, oldest first
  std::size_t queued_ = 0;
  double bytesPerSecond_ = 1;
  bool open_ = false;
  bool paused_ = false;
  bool quit_ = false;
  Clock::time_point frontStart_{};  // when the front buffer started playing
  std::size_t frontPlayed_ = 0;     // bytes of the front buffer played before a pause
};

}  // namespace recdesk::playback
