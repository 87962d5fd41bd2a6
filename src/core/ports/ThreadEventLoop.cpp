#include "ports/ThreadEventLoop.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace recdesk::ports {

namespace {
// runUntil() tests its condition at least this often (the condition may change on other threads).
constexpr Millis kConditionSlice{1};
}  // namespace

// A call another thread waits for. The waiting thread and the loop share it, so either may go first.
struct ThreadEventLoop::Invocation {
  std::function<void()> call;
  std::mutex mutex;
  std::condition_variable doneSignal;
  bool done = false;

  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    doneSignal.notify_all();
  }
};

namespace {

// Marks an invocation finished even when its call throws, so that its caller never waits forever.
template <typename T>
struct FinishOnExit {
  T& invocation;
  ~FinishOnExit() { invocation.finish(); }
};

}  // namespace

ThreadEventLoop::ThreadEventLoop() : owner_(std::this_thread::get_id()) {}

ThreadEventLoop::~ThreadEventLoop() {
  std::deque<std::shared_ptr<Invocation>> abandoned;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
    abandoned.swap(invocations_);
  }
  // Threads still waiting are released; their calls are not run any more.
  for (auto& invocation : abandoned) invocation->finish();
}

bool ThreadEventLoop::onOwnerThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

void ThreadEventLoop::setTimerHandler(std::function<void(int)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  timerHandler_ = std::move(handler);
}

void ThreadEventLoop::startTimer(int timerId, Millis period) {
  if (period < Millis(1)) period = Millis(1);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_[timerId] = Timer{period, Clock::now() + period};
  }
  wake_.notify_all();
}

void ThreadEventLoop::stopTimer(int timerId) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(timerId);
}

bool ThreadEventLoop::timerActive(int timerId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_.count(timerId) != 0;
}

Clock::time_point ThreadEventLoop::now() const {
  return Clock::now();
}

void ThreadEventLoop::post(std::function<void()> call) {
  if (!call) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shuttingDown_) return;
    posted_.push_back(std::move(call));
  }
  wake_.notify_all();
}

void ThreadEventLoop::invokeBlocking(std::function<void()> call) {
  if (!call) return;
  auto invocation = std::make_shared<Invocation>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ == std::this_thread::get_id()) {
      // On the owner thread itself: run at once (below, outside the lock).
      invocation.reset();
    } else {
      if (shuttingDown_) return;
      invocation->call = std::move(call);
      invocations_.push_back(invocation);
    }
  }
  if (!invocation) {
    call();
    return;
  }
  wake_.notify_all();
  std::unique_lock<std::mutex> lock(invocation->mutex);
  invocation->doneSignal.wait(lock, [&] { return invocation->done; });
}

std::size_t ThreadEventLoop::runPendingInvocations() {
  std::size_t count = 0;
  for (;;) {
    std::shared_ptr<Invocation> next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (invocations_.empty()) break;
      next = std::move(invocations_.front());
      invocations_.pop_front();
    }
    FinishOnExit<Invocation> finisher{*next};
    next->call();
    ++count;
  }
  return count;
}

bool ThreadEventLoop::runDueEvents() {
  bool ran = runPendingInvocations() != 0;

  // Posted calls: those queued before this round (calls they post wait for the next round).
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.swap(posted_);
  }
  for (auto& call : calls) {
    call();
    ran = true;
    // A reader may be waiting: serve it between posted calls.
    runPendingInvocations();
  }

  // Due timers, earliest first. Each is looked up again before it fires, because a handler may stop
  // or restart any timer.
  std::vector<std::pair<Clock::time_point, int>> due;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto t = Clock::now();
    for (const auto& [id, timer] : timers_)
      if (timer.due <= t) due.emplace_back(timer.due, id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& entry : due) {
    std::function<void(int)> handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = timers_.find(entry.second);
      if (it == timers_.end() || it->second.due != entry.first) continue;
      it->second.due = Clock::now() + it->second.period;
      handler = timerHandler_;
    }
    if (handler) handler(entry.second);
    ran = true;
    runPendingInvocations();
  }
  return ran;
}

void ThreadEventLoop::waitForEvents(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto until = deadline;
  for (const auto& [id, timer] : timers_)
    if (timer.due < until) until = timer.due;
  wake_.wait_until(lock, until, [&] {
    return quitRequested_ || !invocations_.empty() || !posted_.empty() || Clock::now() >= until;
  });
}

void ThreadEventLoop::processEvents() {
  runDueEvents();
}

int ThreadEventLoop::run() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    owner_ = std::this_thread::get_id();
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (quitRequested_) {
        quitRequested_ = false;
        return quitCode_;
      }
    }
    if (!runDueEvents()) waitForEvents(Clock::now() + Millis(1000));
  }
}

void ThreadEventLoop::quit(int code) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quitRequested_ = true;
    quitCode_ = code;
  }
  wake_.notify_all();
}

bool ThreadEventLoop::runUntil(const std::function<bool()>& done, Millis limit) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    owner_ = std::this_thread::get_id();
  }
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (done && done()) return true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (quitRequested_) {
        quitRequested_ = false;
        break;
      }
    }
    const auto t = Clock::now();
    if (t >= deadline) break;
    if (!runDueEvents()) waitForEvents(std::min(deadline, t + kConditionSlice));
  }
  return done ? done() : false;
}

}  // namespace recdesk::ports
