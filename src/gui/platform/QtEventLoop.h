#pragma once
// The event loop of the desktop program: the core's timers, posted calls and the reader thread's
// synchronous hand-over, all run by Qt's event loop on the GUI thread (the thread that builds this
// object).
//
// A blocking invocation from the reader thread waits in our own queue, not in Qt's: Qt is only
// woken to drain it. So the link's Close can drain the queue itself (runPendingInvocations) while it
// waits for the reader to end, where a plain blocking queued connection would hold the window for
// the reader's stop time-out. No Qt header here: the Qt side lives in the .cpp.
#include <memory>

#include "ports/EventLoop.h"

namespace recdesk::gui {

class QtEventLoop final : public ports::EventLoop {
 public:
  QtEventLoop();
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  void setTimerHandler(std::function<void(int timerId)> handler) override;
  void startTimer(int timerId, ports::Millis period) override;
  void stopTimer(int timerId) override;
  bool timerActive(int timerId) const override;
  ports::Clock::time_point now() const override;
  void post(std::function<void()> call) override;
  void invokeBlocking(std::function<void()> call) override;
  std::size_t runPendingInvocations() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace recdesk::gui
