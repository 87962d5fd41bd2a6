#pragma once
// A PlaybackObserver for a program or test that may wait on its own thread for the engine's replies
// (the command line; never the desktop program's GUI thread, which only reacts to them). It keeps
// the open results, the seeks and the ends; derived classes that override one of its calls must
// call it too.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "playback/PlaybackEngine.h"

namespace recdesk::playback {

class WaitingObserver : public PlaybackObserver {
 public:
  void playbackOpened(const PlaybackStatus& status) override {
    std::lock_guard lock(mutex_);
    ++openReplies_;
    openOk_ = true;
    opened_ = status;
    changed_.notify_all();
  }
  void playbackOpenFailed(const std::string& /*path*/, const std::string& reason) override {
    std::lock_guard lock(mutex_);
    ++openReplies_;
    ++openFailures_;
    openOk_ = false;
    reason_ = reason;
    changed_.notify_all();
  }
  void playbackSeeked(const PlaybackStatus& status) override {
    std::lock_guard lock(mutex_);
    ++seeks_;
    seeked_ = status;
    changed_.notify_all();
  }
  void playbackEnded() override {
    std::lock_guard lock(mutex_);
    ++ended_;
    changed_.notify_all();
  }

  // Opens `path` and waits for the reply: true when it can be played (reason() tells why not).
  bool openAndWait(PlaybackEngine& engine, const std::string& path, MediaKind kind = MediaKind::None) {
    const int before = count(openReplies_);
    engine.open(path, kind);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return openReplies_ > before; });
    return openOk_;
  }
  // Seeks and waits until the worker has carried it out (and every request before it).
  PlaybackStatus seekAndWait(PlaybackEngine& engine, std::int64_t ms) {
    const int before = count(seeks_);
    engine.seekMs(ms);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return seeks_ > before; });
    return seeked_;
  }
  // Waits (at most `limit`) until the end has been heard `times` times in all.
  bool waitEnded(int times = 1, std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return ended_ >= times; });
  }

  int ended() const { return count(ended_); }
  int openFailed() const { return count(openFailures_); }
  bool hasEnded() const { return ended() > 0; }
  std::string reason() const {
    std::lock_guard lock(mutex_);
    return reason_;
  }
  PlaybackStatus opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }

 protected:
  int count(const int& n) const {
    std::lock_guard lock(mutex_);
    return n;
  }
  mutable std::mutex mutex_;
  std::condition_variable changed_;

 private:
  int openReplies_ = 0, openFailures_ = 0, seeks_ = 0, ended_ = 0;
  bool openOk_ = false;
  std::string reason_;
  PlaybackStatus opened_, seeked_;
};

}  // namespace recdesk::playback
