#include "ports/VirtualEventLoop.h"

#include <algorithm>
#include <future>

namespace recdesk::ports {

VirtualEventLoop::VirtualEventLoop()
    : start_(Clock::time_point{} + std::chrono::hours(24)), now_(start_), owner_(std::this_thread::get_id()) {}

VirtualEventLoop::~VirtualEventLoop() = default;

void VirtualEventLoop::setTimerHandler(std::function<void(int)> handler) { timerHandler_ = std::move(handler); }

void VirtualEventLoop::startTimer(int timerId, Millis period) {
  if (period < Millis(1)) period = Millis(1);  // a zero period would fire for ever at one instant
  timers_[timerId] = Timer{period, now_ + period, nextOrder_++, true};
}

void VirtualEventLoop::stopTimer(int timerId) {
  const auto it = timers_.find(timerId);
  if (it != timers_.end()) it->second.active = false;
}

bool VirtualEventLoop::timerActive(int timerId) const {
  const auto it = timers_.find(timerId);
  return it != timers_.end() && it->second.active;
}

Clock::time_point VirtualEventLoop::now() const { return now_; }

void VirtualEventLoop::post(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(call));
  }
}

void VirtualEventLoop::invokeBlocking(std::function<void()> call) {
  if (std::this_thread::get_id() == owner_) {
    call();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  post([call = std::move(call), done] {
    call();
    done->set_value();
  });
  finished.wait();
}

void VirtualEventLoop::postAfter(std::chrono::nanoseconds delay, std::function<void()> call) {
  const auto due = now_ + std::chrono::duration_cast<Clock::duration>(std::max(delay, std::chrono::nanoseconds(0)));
  timedCalls_.emplace(due, std::move(call));  // equal keys keep their insertion order
}

bool VirtualEventLoop::runDueCall(Clock::time_point until) {
  if (timedCalls_.empty()) return false;
  const auto first = timedCalls_.begin();
  if (first->first > until) return false;
  for (const auto& [id, timer] : timers_)
    if (timer.active && timer.due < first->first) return false;  // that timer comes first
  if (first->first > now_) now_ = first->first;
  auto call = std::move(first->second);
  timedCalls_.erase(first);
  call();
  return true;
}

bool VirtualEventLoop::runOnePosted() {
  std::function<void()> call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (posted_.empty()) return false;
    call = std::move(posted_.front());
    posted_.pop_front();
  }
  call();
  return true;
}

void VirtualEventLoop::runPosted() {
  owner_ = std::this_thread::get_id();
  while (runOnePosted()) {
  }
}

bool VirtualEventLoop::fireDueTimer(Clock::time_point until) {
  auto best = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (!it->second.active || it->second.due > until) continue;
    if (best == timers_.end() || it->second.due < best->second.due ||
        (it->second.due == best->second.due && it->second.order < best->second.order))
      best = it;
  }
  if (best == timers_.end()) return false;
  const int id = best->first;
  if (best->second.due > now_) now_ = best->second.due;
  // The next tick comes one period after this one is handled (a window timer that fell behind does
  // not fire a burst).
  best->second.due = now_ + best->second.period;
  best->second.order = nextOrder_++;
  ++ticks_[id];
  if (timerHandler_) timerHandler_(id);
  return true;
}

void VirtualEventLoop::runFor(Millis duration) {
  const Clock::time_point until = now_ + duration;
  runUntil([] { return false; }, duration);
  if (now_ < until) now_ = until;
}

bool VirtualEventLoop::runUntil(const std::function<bool()>& done, Millis limit) {
  owner_ = std::this_thread::get_id();
  const Clock::time_point until = now_ + limit;
  if (done()) return true;
  for (;;) {
    if (runOnePosted()) {
      if (done()) return true;
      continue;
    }
    if (now_ > until) return false;
    if (runDueCall(until)) {
      if (done()) return true;
      continue;
    }
    if (!fireDueTimer(until)) {
      if (now_ < until) now_ = until;
      return done();
    }
    if (done()) return true;
  }
}

Millis VirtualEventLoop::elapsed() const { return std::chrono::duration_cast<Millis>(now_ - start_); }

std::uint64_t VirtualEventLoop::ticks(int timerId) const {
  const auto it = ticks_.find(timerId);
  return it == ticks_.end() ? 0 : it->second;
}

}  // namespace recdesk::ports
