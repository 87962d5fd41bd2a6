#pragma once
// The real event loop for front ends without a toolkit loop (the command line) and for tests that
// need real threads: timers by identifier, calls posted from any thread and blocking invocations from
// other threads, all run on the owner thread while it is inside run(), runUntil() or processEvents().
//
// The owner thread is the thread that constructed the loop; run() and runUntil() make the calling
// thread the owner. Timers follow window-timer rules: a timer that falls behind fires once, not once
// per missed period. Destroy the users of the loop (an open link) before the loop;
// threads still waiting in invokeBlocking() when it goes are released without their call.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "ports/EventLoop.h"

namespace recdesk::ports {

class ThreadEventLoop : public EventLoop {
 public:
  ThreadEventLoop();
  ~ThreadEventLoop() override;
  ThreadEventLoop(const ThreadEventLoop&) = delete;
  ThreadEventLoop& operator=(const ThreadEventLoop&) = delete;

  void setTimerHandler(std::function<void(int timerId)> handler) override;
  void startTimer(int timerId, Millis period) override;
  void stopTimer(int timerId) override;
  bool timerActive(int timerId) const override;

  Clock::time_point now() const override;

  void post(std::function<void()> call) override;
  void invokeBlocking(std::function<void()> call) override;
  std::size_t runPendingInvocations() override;

  // Runs events until quit() is called; returns the code given to quit().
  int run();
  // Thread-safe: makes the innermost run() (or runUntil()) return.
  void quit(int code = 0);
  // Runs events until `done` returns true (tested after every round of events and at least every
  // millisecond) or until `limit` has passed. Returns the last value of `done`.
  bool runUntil(const std::function<bool()>& done, Millis limit);
  // Runs what is due now (blocking invocations, posted calls, due timers) without waiting.
  void processEvents();

  bool onOwnerThread() const;

 private:
  struct Invocation;
  struct Timer {
    Millis period{};
    Clock::time_point due{};
  };

  // Runs one round of due events; returns true when anything ran.
  bool runDueEvents();
  // Waits until something is due, a wake-up arrives or `deadline` passes.
  void waitForEvents(Clock::time_point deadline);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread::id owner_;
  std::deque<std::shared_ptr<Invocation>> invocations_;
  std::deque<std::function<void()>> posted_;
  std::map<int, Timer> timers_;
  std::function<void(int)> timerHandler_;
  bool quitRequested_ = false;
  int quitCode_ = 0;
  bool shuttingDown_ = false;
};

}  // namespace recdesk::ports
