#pragma once
// The audio sink on SDL2 audio: SDL's audio thread pulls the bytes of the buffers written, in
// order, and each buffer is reported played when its last byte has gone to the device. Silence
// fills the device while nothing is queued. SDL chooses the output (PipeWire, PulseAudio, ALSA;
// SDL_AUDIODRIVER=disk writes the output to SDL_DISKAUDIOFILE, =dummy discards it).
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "ports/AudioSink.h"

namespace recdesk::platform {

class SdlAudioSink : public ports::AudioSink {
 public:
  SdlAudioSink();
  ~SdlAudioSink() override;
  SdlAudioSink(const SdlAudioSink&) = delete;
  SdlAudioSink& operator=(const SdlAudioSink&) = delete;

  void setBufferDone(BufferDone done) override;
  bool open(std::uint32_t rate, int bits, int channels) override;
  void close() override;
  void write(const std::uint8_t* data, std::size_t bytes) override;
  std::size_t queuedBytes() const override;
  void pause() override;
  void resume() override;
  void reset() override;
  void drain() override;

  // Why the last open() failed (SDL's own words).
  const std::string& lastError() const { return error_; }

 private:
  static void callback(void* self, std::uint8_t* stream, int length);
  void fill(std::uint8_t* stream, std::size_t length);

  struct Buffer {
    const std::uint8_t* data;
    std::size_t size;
  };
  bool initialised_ = false;
  std::uint32_t device_ = 0;
  std::uint8_t silence_ = 0;
  double periodSeconds_ = 0;  // one device buffer
  bool paused_ = false;
  std::string error_;
  BufferDone done_;
  // The queue is shared with SDL's audio thread under SDL's device lock.
  std::deque<Buffer> queue_;
  std::size_t frontOffset_ = 0;
  std::size_t queued_ = 0;
  // Drain waits here for the device's callbacks.
  std::mutex drainMutex_;
  std::condition_variable drained_;
  std::uint64_t callbacks_ = 0;
  bool emptyAtCallback_ = true;
};

}  // namespace recdesk::platform
