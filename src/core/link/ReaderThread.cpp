#include "link/ReaderThread.h"

#include <chrono>

#include "ports/EventLoop.h"

namespace recdesk::link {

namespace {
constexpr std::chrono::milliseconds kStopLimit{10000};
constexpr std::chrono::milliseconds kStopSlice{5};
}  // namespace

void ReaderShared::notify(int notification, std::size_t bytesWaiting) {
  if (stop.load() || !context.listener) return;
  auto run = [this, notification, bytesWaiting] {
    // Looked at again on the owner thread: a notification that arrives after Close began is dropped.
    if (stop.load() || !context.listener) return;
    struct Handling {
      std::atomic<int>& count;
      explicit Handling(std::atomic<int>& c) : count(c) { ++count; }
      ~Handling() { --count; }
    } handlingNow(handling);
    context.listener->onLinkNotification(notification, bytesWaiting);
  };
  if (context.loop)
    context.loop->invokeBlocking(run);
  else
    run();
}

void ReaderShared::markLost() {
  if (lost.exchange(true)) return;
  notify(kLostNotification, 0);
}

void ReaderShared::markFinished() {
  {
    std::lock_guard<std::mutex> lock(finishMutex_);
    finished_ = true;
  }
  finishSignal_.notify_all();
}

bool ReaderShared::waitFinished(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(finishMutex_);
  return finishSignal_.wait_for(lock, limit, [this] { return finished_; });
}

std::thread startReader(std::shared_ptr<ReaderShared> shared, std::function<void(ReaderShared&)> body) {
  return std::thread([shared = std::move(shared), body = std::move(body)] {
    body(*shared);
    shared->markFinished();
  });
}

ReaderStop stopReader(ReaderShared& shared, std::thread& thread) {
  shared.stop.store(true);
  if (!thread.joinable()) return ReaderStop::Ended;
  if (shared.handling.load() > 0) {
    // Close was called from inside this reader's notification: the reader waits for this very call
    // to return, so it cannot be joined here. It ends by itself right after.
    thread.detach();
    return ReaderStop::InHandler;
  }
  // Real time, not the loop's clock: the loop may run in virtual time.
  const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
  bool finished = false;
  for (;;) {
    if (shared.context.loop) shared.context.loop->runPendingInvocations();
    if (shared.waitFinished(kStopSlice)) {
      finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  if (finished) {
    thread.join();
    return ReaderStop::Ended;
  }
  thread.detach();
  return ReaderStop::TimedOut;
}

}  // namespace recdesk::link
