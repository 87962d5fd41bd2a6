#pragma once
// Timed calls for the demo's simulated recorder: a format, scan or check runs over real seconds there
// too. A helper thread waits for each call's time and posts it to the session's event loop, so the
// call itself runs on the owner thread like everything else.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "ports/EventLoop.h"

namespace recdesk::cli {

class DemoScheduler {
 public:
  explicit DemoScheduler(ports::EventLoop& loop);
  // Calls still waiting are dropped.
  ~DemoScheduler();
  DemoScheduler(const DemoScheduler&) = delete;
  DemoScheduler& operator=(const DemoScheduler&) = delete;

  void schedule(std::chrono::nanoseconds delay, std::function<void()> call);

 private:
  void run();

  ports::EventLoop& loop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> calls_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace recdesk::cli
