#include "DemoScheduler.h"

namespace recdesk::cli {

DemoScheduler::DemoScheduler(ports::EventLoop& loop) : loop_(loop), thread_([this] { run(); }) {}

DemoScheduler::~DemoScheduler() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DemoScheduler::schedule(std::chrono::nanoseconds delay, std::function<void()> call) {
  const auto due = std::chrono::steady_clock::now() + std::max(delay, std::chrono::nanoseconds(0));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.emplace(due, std::move(call));
  }
  wake_.notify_all();
}

void DemoScheduler::run() {
  std::unique_lock<std::mutex> lock(mutex_);
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
    // Calls due at the same time keep their order: the loop runs posted calls in order.
    loop_.post(std::move(call));
  }
}

}  // namespace recdesk::cli
