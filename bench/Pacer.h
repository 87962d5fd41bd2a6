#pragma once
// For the benchmarks: runs calls at their due time on an event loop's own thread, the way a device
// behind a real link answers while the owner thread goes on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "ports/EventLoop.h"

namespace recdesk::bench {

// The link the benchmarks simulate: its fastest speed, and the recorder's time to answer a request.
inline constexpr std::uint32_t kBaud = 3000000;
inline constexpr auto kTurnaround = std::chrono::microseconds(2000);

// A timer thread posts each call to the loop when it is due.
class Pacer {
 public:
  explicit Pacer(ports::EventLoop& loop) : loop_(loop), thread_([this] { run(); }) {}
  ~Pacer() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void schedule(std::chrono::nanoseconds delay, std::function<void()> call) {
    {
      std::lock_guard lock(mutex_);
      calls_.emplace(std::chrono::steady_clock::now() + delay, std::move(call));
    }
    wake_.notify_all();
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (calls_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const auto due = calls_.begin()->first;
      if (std::chrono::steady_clock::now() < due) {
        wake_.wait_until(lock, due);
        continue;
      }
      auto call = std::move(calls_.begin()->second);
      calls_.erase(calls_.begin());
      loop_.post(std::move(call));
    }
  }
  ports::EventLoop& loop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> calls_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace recdesk::bench
