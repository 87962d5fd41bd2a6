#pragma once
// The event-loop port: how the core meets time and threads.
//
// Everything in the core runs on one owner thread, and nothing there ever sleeps, spins or runs a
// nested loop: a wait is a timer. Timers are started and stopped by their fixed identifiers; a timer
// fires repeatedly with its period until stopped. The link's reader thread hands
// its notifications to the owner thread through invokeBlocking(), which returns only when the owner
// has run the call (the reader waits, exactly like a synchronous window message).
//
// Implementations: a real one for the front ends (threads, steady clock) and a virtual-time one for
// tests, in which timers only move a counter, so a 20-second time-out runs in microseconds.
#include <chrono>
#include <cstddef>
#include <functional>

namespace recdesk::ports {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // The one handler that receives every timer tick, with the timer's identifier.
  virtual void setTimerHandler(std::function<void(int timerId)> handler) = 0;
  // Starts (or restarts) timer `timerId` with `period`; the first tick comes one period from now.
  virtual void startTimer(int timerId, Millis period) = 0;
  virtual void stopTimer(int timerId) = 0;
  virtual bool timerActive(int timerId) const = 0;

  // Monotonic time.
  virtual Clock::time_point now() const = 0;

  // Runs `call` on the owner thread later (after the current handler returns). Thread-safe.
  virtual void post(std::function<void()> call) = 0;
  // From another thread: runs `call` on the owner thread and waits until it has returned.
  // Called on the owner thread itself it runs `call` at once.
  virtual void invokeBlocking(std::function<void()> call) = 0;

  // Owner thread only: runs the calls that other threads are waiting for in invokeBlocking() (and
  // nothing else: no timers, no posted calls). The link calls it while it waits for its reader to
  // end, because the reader may be blocked handing over a notification. Returns how many ran.
  virtual std::size_t runPendingInvocations() { return 0; }
};

}  // namespace recdesk::ports
