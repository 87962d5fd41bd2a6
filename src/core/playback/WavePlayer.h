#pragma once
// WavePlayer: the player's ring of 20 buffers of 8192 bytes over an audio sink. Decoded audio is
// copied into the current buffer; a full buffer goes to the sink and the next one is filled. The
// free count (buffers not held by the sink) rises on the sink's thread as buffers are played, and
// wakes the owner through the `wake` call it was given, so whoever writes waits for room without
// polling.
//
// The last partly filled buffer of a recording is handed over by flush(): the end of every
// recording is heard. The sink is reset before it is reopened or closed, so no buffer it still
// holds is reused or freed. When the sound output cannot be opened the player goes on through a
// silent sink at the real-time pace: position and end of playback stay right, without sound.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "playback/SilentSink.h"
#include "ports/AudioSink.h"

namespace recdesk::playback {

class WavePlayer {
 public:
  static constexpr int kBufferCount = 20;
  static constexpr std::size_t kBufferSize = 8192;

  // `wake` is called on the sink's thread whenever a buffer has been played.
  WavePlayer(ports::AudioSink& sink, std::function<void()> wake);
  ~WavePlayer();
  WavePlayer(const WavePlayer&) = delete;
  WavePlayer& operator=(const WavePlayer&) = delete;

  // Resets what is queued, then opens the output for the format. False when the sound output
  // cannot be opened: the player then plays silently.
  bool reopen(std::uint32_t rate, int bits, int channels);
  bool silent() const { return active_ == &silent_; }
  // Bytes write() takes now without waiting for a buffer to be played.
  std::size_t room() const;
  // Copies `bytes` (at most room()) into the buffers; every buffer filled goes to the output.
  void write(const std::uint8_t* data, std::size_t bytes);
  // Hands the partly filled buffer to the output.
  void flush();
  // Nothing is queued or waiting in a buffer.
  bool idle() const;
  // Bytes not yet heard: queued on the output and waiting in the current buffer.
  std::size_t pendingBytes() const;
  std::int64_t pendingMs() const;

  void reset();  // drops everything queued; the fill starts again at the current buffer
  void pause();
  void restart();
  void drain();
  void close();  // resets and closes the output

 private:
  void submitCurrent();

  ports::AudioSink& sink_;
  SilentSink silent_;
  ports::AudioSink* active_ = nullptr;  // sink_ or silent_ once opened
  std::function<void()> wake_;
  std::unique_ptr<std::uint8_t[]> buffers_;  // kBufferCount × kBufferSize, zero-filled
  std::atomic<int> free_{kBufferCount};
  int index_ = 0;                     // buffer being filled
  std::atomic<std::size_t> fill_{0};  // bytes in it
  std::uint32_t byteRate_ = 0;
};

}  // namespace recdesk::playback
