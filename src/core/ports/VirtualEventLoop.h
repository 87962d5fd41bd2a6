#pragma once
// The event loop in virtual time, for tests and simulations: time moves only when the loop says so.
// Timers fire in order of their due time (ties: the timer started first); posted calls run in order, before any
// timer that is due at the same moment. Every run is identical.
//
// The owner thread is the thread that calls runFor()/runUntil(). post() and invokeBlocking() may be
// called from other threads; invokeBlocking() from another thread waits until the owner runs the call
// (so the owner must be inside runFor()/runUntil() at that time).
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "ports/EventLoop.h"

namespace recdesk::ports {

class VirtualEventLoop : public EventLoop {
 public:
  VirtualEventLoop();
  ~VirtualEventLoop() override;

  void setTimerHandler(std::function<void(int timerId)> handler) override;
  void startTimer(int timerId, Millis period) override;
  void stopTimer(int timerId) override;
  bool timerActive(int timerId) const override;
  Clock::time_point now() const override;
  void post(std::function<void()> call) override;
  void invokeBlocking(std::function<void()> call) override;

  // Runs `call` on the owner thread once `delay` of virtual time has passed (finer than the
  // millisecond timers: a simulated wire delivers its bytes at their own pace). Calls due at the
  // same moment run in the order they were given, before a timer due then. Owner thread only.
  void postAfter(std::chrono::nanoseconds delay, std::function<void()> call);

  // Runs posted calls and due timers until `duration` of virtual time has passed; the clock then
  // stands exactly `duration` later than at the call.
  void runFor(Millis duration);
  // Runs until `done()` is true (tested before the first event and after every event) or `limit` of
  // virtual time has passed. Returns whether `done()` became true.
  bool runUntil(const std::function<bool()>& done, Millis limit);
  // Runs the posted calls only (no time passes).
  void runPosted();

  // Virtual time since the loop was made.
  Millis elapsed() const;
  // Timer ticks delivered so far, per id (for tests).
  std::uint64_t ticks(int timerId) const;

 private:
  // A stopped timer keeps its entry (inactive): timers are started and stopped all the time (a paced
  // line restarts one per byte), and an entry made anew each time was an allocation each time.
  struct Timer {
    Millis period{};
    Clock::time_point due{};
    std::uint64_t order = 0;  // start order: breaks ties between timers due at the same time
    bool active = false;
  };

  bool runOnePosted();
  // Fires the earliest timer due at or before `until`; false when there is none.
  bool fireDueTimer(Clock::time_point until);
  // Runs the earliest timed call due at or before `until` and not after the earliest timer.
  bool runDueCall(Clock::time_point until);

  std::function<void(int)> timerHandler_;
  std::map<int, Timer> timers_;
  std::map<int, std::uint64_t> ticks_;
  std::multimap<Clock::time_point, std::function<void()>> timedCalls_;
  std::uint64_t nextOrder_ = 0;
  Clock::time_point start_;
  Clock::time_point now_;
  // Set by the running thread, read by invokeBlocking() on any thread.
  std::atomic<std::thread::id> owner_;

  mutable std::mutex mutex_;  // guards posted_ (other threads post)
  std::deque<std::function<void()>> posted_;
};

}  // namespace recdesk::ports
