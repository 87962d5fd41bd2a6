#pragma once
// A fake audio sink the test drives: buffers written are held until the test plays them (or, in
// instant mode, are heard as soon as they are written); every call is logged. And an observer that
// lets a test wait for what the engine tells.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "playback/PlaybackEngine.h"
#include "playback/WaitingObserver.h"
#include "ports/AudioSink.h"
#include "recording/RecordingWriter.h"

namespace recdesk::test {

class FakeSink : public ports::AudioSink {
 public:
  explicit FakeSink(bool instant = false) : instant_(instant) {}

  void setBufferDone(BufferDone done) override {
    std::lock_guard lock(mutex_);
    done_ = std::move(done);
  }
  bool open(std::uint32_t rate, int bits, int channels) override {
    std::lock_guard lock(mutex_);
    calls.push_back("open");
    if (!queue_.empty()) queuedAtOpenOrClose = true;
    rate_ = rate;
    bits_ = bits;
    channels_ = channels;
    paused_ = false;
    return available;
  }
  void close() override {
    std::lock_guard lock(mutex_);
    calls.push_back("close");
    if (!queue_.empty()) queuedAtOpenOrClose = true;
  }
  void write(const std::uint8_t* data, std::size_t bytes) override {
    std::lock_guard lock(mutex_);
    ++writes_;
    queue_.push_back(std::string(reinterpret_cast<const char*>(data), bytes));
    if (instant_) playLocked(queue_.size());
    changed_.notify_all();
  }
  std::size_t queuedBytes() const override {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& b : queue_) n += b.size();
    return n;
  }
  void pause() override {
    std::lock_guard lock(mutex_);
    calls.push_back("pause");
    paused_ = true;
  }
  void resume() override {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  void reset() override {
    std::lock_guard lock(mutex_);
    calls.push_back("reset");
    queue_.clear();
  }
  void drain() override {}

  // Plays the oldest `count` buffers (fewer when fewer are queued); false while paused.
  bool play(std::size_t count = 1) {
    std::lock_guard lock(mutex_);
    if (paused_) return false;
    playLocked(count);
    return true;
  }
  // Waits until at least `count` buffers are queued (or written, in instant mode).
  bool waitQueued(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return queue_.size() >= count; });
  }
  std::size_t queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  std::string heard() const {
    std::lock_guard lock(mutex_);
    return heard_;
  }
  std::size_t writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  int bits() const {
    std::lock_guard lock(mutex_);
    return bits_;
  }

  bool available = true;             // false: no sound device
  std::vector<std::string> calls;    // open, close, pause, reset (read when the engine is idle)
  bool queuedAtOpenOrClose = false;  // a buffer was still queued when the output was opened or closed

 private:
  void playLocked(std::size_t count) {
    while (count-- > 0 && !queue_.empty()) {
      heard_ += queue_.front();
      queue_.pop_front();
      if (done_) done_();
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  BufferDone done_;
  std::deque<std::string> queue_;
  std::string heard_;
  std::size_t writes_ = 0;
  bool instant_;
  bool paused_ = false;
  std::uint32_t rate_ = 0;
  int bits_ = 0, channels_ = 0;
};

// The engine's replies, waited for on the test's thread.
class Events : public playback::WaitingObserver {
 public:
  void playbackSoundUnavailable() override { bump(soundUnavailable_); }
  void playbackStateChanged(playback::PlayState s) override {
    std::lock_guard lock(mutex_);
    states_.push_back(static_cast<int>(s));
  }
  int soundUnavailable() const { return count(soundUnavailable_); }
  std::vector<int> states() const {
    std::lock_guard lock(mutex_);
    return states_;
  }

 private:
  void bump(int& n) {
    std::lock_guard lock(mutex_);
    ++n;
    changed_.notify_all();
  }
  int soundUnavailable_ = 0;
  std::vector<int> states_;
};

// What the conversion writes for an IM2 file: the audio data of its one WAV part.
std::string convertedAudio(const std::filesystem::path& im2, const std::filesystem::path& folder);

// A tone recording of `pages` pages in `format`.
sim::Recording toneRecording(std::size_t pages, const sim::RecordingFormat& format = {});

}  // namespace recdesk::test
