#include "sdl/SdlAudioSink.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace recdesk::platform {
namespace {

// Device buffers of about 20 ms: short enough for a quick end and pause, long enough for a
// sound server.
std::uint16_t deviceSamples(std::uint32_t rate) {
  std::uint16_t samples = 256;
  while (samples < 4096 && samples * 50u < rate) samples = static_cast<std::uint16_t>(samples * 2);
  return samples;
}

}  // namespace

SdlAudioSink::SdlAudioSink() = default;

SdlAudioSink::~SdlAudioSink() {
  close();
  if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudioSink::setBufferDone(BufferDone done) {
  if (device_ != 0) SDL_LockAudioDevice(device_);
  done_ = std::move(done);
  if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

bool SdlAudioSink::open(std::uint32_t rate, int bits, int channels) {
  close();
  error_.clear();
  if (!initialised_) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      error_ = SDL_GetError();
      return false;
    }
    initialised_ = true;
  }
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(rate);
  want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  want.channels = static_cast<std::uint8_t>(channels);
  want.samples = deviceSamples(rate);
  want.callback = &SdlAudioSink::callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts to whatever the device takes, so the bytes stay ours.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    error_ = SDL_GetError();
    return false;
  }
  silence_ = have.silence;
  periodSeconds_ = static_cast<double>(have.samples) / std::max(1, have.freq);
  {
    std::lock_guard lock(drainMutex_);
    callbacks_ = 0;
    emptyAtCallback_ = true;
  }
  paused_ = false;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SdlAudioSink::close() {
  if (device_ == 0) return;
  SDL_CloseAudioDevice(device_);  // waits for the audio thread: no callback runs after this
  device_ = 0;
  queue_.clear();
  frontOffset_ = 0;
  queued_ = 0;
  drained_.notify_all();
}

void SdlAudioSink::write(const std::uint8_t* data, std::size_t bytes) {
  if (device_ == 0 || bytes == 0) return;
  SDL_LockAudioDevice(device_);
  queue_.push_back({data, bytes});
  queued_ += bytes;
  SDL_UnlockAudioDevice(device_);
}

std::size_t SdlAudioSink::queuedBytes() const {
  if (device_ == 0) return 0;
  SDL_LockAudioDevice(device_);
  const std::size_t n = queued_;
  SDL_UnlockAudioDevice(device_);
  return n;
}

void SdlAudioSink::pause() {
  if (device_ == 0) return;
  SDL_PauseAudioDevice(device_, 1);
  paused_ = true;
}

void SdlAudioSink::resume() {
  if (device_ == 0) return;
  paused_ = false;
  SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioSink::reset() {
  if (device_ == 0) return;
  SDL_LockAudioDevice(device_);
  queue_.clear();
  frontOffset_ = 0;
  queued_ = 0;
  SDL_UnlockAudioDevice(device_);
}

void SdlAudioSink::drain() {
  if (device_ == 0 || paused_) return;
  // A guard against a device that stops calling back: the longest queue plays for 20 s. (Asked
  // before drainMutex_ is taken: the callback takes it under the device lock.)
  const double limitSeconds = (queuedBytes() != 0 ? 20.0 : 2.0) + 4 * periodSeconds_;
  std::unique_lock lock(drainMutex_);
  // The queue empties at some callback; one callback later the device has played that buffer.
  const auto limit = std::chrono::duration<double>(limitSeconds);
  std::uint64_t emptyAt = emptyAtCallback_ ? callbacks_ : 0;
  drained_.wait_for(lock, limit, [&] {
    if (device_ == 0) return true;
    if (!emptyAtCallback_) {
      emptyAt = 0;
      return false;
    }
    if (emptyAt == 0) emptyAt = callbacks_;
    return callbacks_ > emptyAt;
  });
}

void SdlAudioSink::callback(void* self, std::uint8_t* stream, int length) {
  static_cast<SdlAudioSink*>(self)->fill(stream, static_cast<std::size_t>(std::max(length, 0)));
}

// On SDL's audio thread, with the device locked.
void SdlAudioSink::fill(std::uint8_t* stream, std::size_t length) {
  std::size_t at = 0;
  while (at < length && !queue_.empty()) {
    Buffer& front = queue_.front();
    const std::size_t n = std::min(length - at, front.size - frontOffset_);
    std::memcpy(stream + at, front.data + frontOffset_, n);
    at += n;
    frontOffset_ += n;
    queued_ -= n;
    if (frontOffset_ == front.size) {
      queue_.pop_front();
      frontOffset_ = 0;
      if (done_) done_();
    }
  }
  if (at < length) std::memset(stream + at, silence_, length - at);
  {
    std::lock_guard lock(drainMutex_);
    ++callbacks_;
    emptyAtCallback_ = queue_.empty();
  }
  drained_.notify_all();
}

}  // namespace recdesk::platform
