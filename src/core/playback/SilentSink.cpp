#include "playback/SilentSink.h"

#include <algorithm>

namespace recdesk::playback {

SilentSink::~SilentSink() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SilentSink::setBufferDone(BufferDone done) {
  std::lock_guard lock(mutex_);
  done_ = std::move(done);
}

bool SilentSink::open(std::uint32_t rate, int bits, int channels) {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    queued_ = 0;
    frontPlayed_ = 0;
    bytesPerSecond_ =
        std::max(1.0, static_cast<double>(rate) * (std::max(bits, 8) / 8) * std::max(channels, 1));
    open_ = true;
    paused_ = false;
    frontStart_ = Clock::now();
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  changed_.notify_all();
  return true;
}

void SilentSink::close() {
  {
    std::lock_guard lock(mutex_);
    open_ = false;
    queue_.clear();
    queued_ = 0;
  }
  changed_.notify_all();
}

void SilentSink::write(const std::uint8_t*, std::size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    if (!open_ || bytes == 0) return;
    if (queue_.empty()) {
      frontStart_ = Clock::now();
      frontPlayed_ = 0;
    }
    queue_.push_back(bytes);
    queued_ += bytes;
  }
  changed_.notify_all();
}

std::size_t SilentSink::playedOfFront(Clock::time_point now) const {
  if (queue_.empty()) return 0;
  std::size_t played = frontPlayed_;
  if (!paused_) {
    const double seconds = std::chrono::duration<double>(now - frontStart_).count();
    played += static_cast<std::size_t>(std::max(0.0, seconds) * bytesPerSecond_);
  }
  return std::min(played, queue_.front());
}

std::size_t SilentSink::queuedBytes() const {
  std::lock_guard lock(mutex_);
  return queued_ - playedOfFront(Clock::now());
}

void SilentSink::pause() {
  std::lock_guard lock(mutex_);
  if (paused_) return;
  frontPlayed_ = playedOfFront(Clock::now());
  paused_ = true;
}

void SilentSink::resume() {
  {
    std::lock_guard lock(mutex_);
    if (!paused_) return;
    paused_ = false;
    frontStart_ = Clock::now();
  }
  changed_.notify_all();
}

void SilentSink::reset() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    queued_ = 0;
    frontPlayed_ = 0;
  }
  changed_.notify_all();
}

void SilentSink::drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() || paused_ || !open_ || quit_; });
}

void SilentSink::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!open_ || paused_ || queue_.empty()) {
      changed_.wait(lock);
      continue;
    }
    // The front buffer ends when its remaining bytes have had their time.
    const std::size_t left = queue_.front() - frontPlayed_;
    const auto end = frontStart_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                       static_cast<double>(left) / bytesPerSecond_));
    if (Clock::now() < end) {
      changed_.wait_until(lock, end);  // woken early by pause, reset, close or quit
      continue;
    }
    queued_ -= queue_.front();
    queue_.pop_front();
    frontPlayed_ = 0;
    frontStart_ = end;
    // Reported under the lock: once reset() or close() has returned, no buffer is reported.
    if (done_) done_();
    changed_.notify_all();
  }
}

}  // namespace recdesk::playback
