#include "playback/WavePlayer.h"

#include <algorithm>
#include <cstring>

namespace recdesk::playback {

WavePlayer::WavePlayer(ports::AudioSink& sink, std::function<void()> wake)
    : sink_(sink), wake_(std::move(wake)), buffers_(new std::uint8_t[kBufferCount * kBufferSize]()) {
  const auto done = [this] {
    // A buffer comes back from the output.
    if (free_.fetch_add(1) >= kBufferCount) free_.store(kBufferCount);
    if (wake_) wake_();
  };
  sink_.setBufferDone(done);
  silent_.setBufferDone(done);
}

WavePlayer::~WavePlayer() {
  close();
  sink_.setBufferDone({});
}

bool WavePlayer::reopen(std::uint32_t rate, int bits, int channels) {
  close();
  byteRate_ = rate * static_cast<std::uint32_t>(bits / 8 * channels);
  if (sink_.open(rate, bits, channels)) {
    active_ = &sink_;
    return true;
  }
  silent_.open(rate, bits, channels);
  active_ = &silent_;
  return false;
}

std::size_t WavePlayer::room() const {
  const int free = free_.load();
  if (active_ == nullptr || free <= 0) return 0;
  // The current buffer is one of the free ones.
  return (kBufferSize - fill_.load()) + static_cast<std::size_t>(free - 1) * kBufferSize;
}

void WavePlayer::submitCurrent() {
  const std::size_t n = fill_.load();
  if (n == 0 || active_ == nullptr) return;
  free_.fetch_sub(1);
  active_->write(buffers_.get() + static_cast<std::size_t>(index_) * kBufferSize, n);
  index_ = (index_ + 1) % kBufferCount;
  fill_.store(0);
}

void WavePlayer::write(const std::uint8_t* data, std::size_t bytes) {
  while (bytes > 0 && free_.load() > 0 && active_ != nullptr) {
    const std::size_t fill = fill_.load();
    const std::size_t n = std::min(bytes, kBufferSize - fill);
    std::memcpy(buffers_.get() + static_cast<std::size_t>(index_) * kBufferSize + fill, data, n);
    fill_.store(fill + n);
    data += n;
    bytes -= n;
    if (fill + n == kBufferSize) submitCurrent();
  }
}

void WavePlayer::flush() {
  if (free_.load() > 0) submitCurrent();
}

bool WavePlayer::idle() const {
  return free_.load() >= kBufferCount && fill_.load() == 0;
}

std::size_t WavePlayer::pendingBytes() const {
  return (active_ != nullptr ? active_->queuedBytes() : 0) + fill_.load();
}

std::int64_t WavePlayer::pendingMs() const {
  if (byteRate_ == 0) return 0;
  return static_cast<std::int64_t>(pendingBytes() * 1000 / byteRate_);
}

void WavePlayer::reset() {
  if (active_ != nullptr) active_->reset();
  // The output holds no buffer any more.
  free_.store(kBufferCount);
  fill_.store(0);
}

void WavePlayer::pause() {
  if (active_ != nullptr) active_->pause();
}

void WavePlayer::restart() {
  if (active_ != nullptr) active_->resume();
}

void WavePlayer::drain() {
  if (active_ != nullptr) active_->drain();
}

void WavePlayer::close() {
  if (active_ == nullptr) return;
  active_->reset();
  active_->close();
  active_ = nullptr;
  free_.store(kBufferCount);
  fill_.store(0);
}

}  // namespace recdesk::playback
