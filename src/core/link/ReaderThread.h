#pragma once
// What every channel's reader thread shares with the owner thread, and how it starts, notifies and
// stops.
//
// The reader keeps its state in a ReaderShared held by shared pointer, so a reader that does not end
// in time can be let go without touching a destroyed channel. Notifications go to the owner through
// EventLoop::invokeBlocking (the reader waits until the owner has handled them); a notification that
// reaches the owner after the stop flag was set is dropped there. While the owner waits for its reader
// to end it keeps serving such invocations, so closing never dead-locks with a reader that is
// handing over a notification.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "link/LinkTransport.h"

namespace recdesk::link {

struct ReaderShared {
  virtual ~ReaderShared() = default;

  ReaderContext context;
  std::atomic<bool> stop{false};
  std::atomic<std::uint32_t> mask{0};
  // Set by the reader when the device went away (unplugged, hung up): it stops notifying and the
  // channel's write reports 0 from then on.
  std::atomic<bool> lost{false};
  // The reader found the device gone: marks it lost and tells the owner once (kLostNotification,
  // whatever the mask), so that a session that writes nothing for a long time (recording, format,
  // locked recorder) still notices the loss at once. The reader ends right after.
  void markLost();

  // Hands a notification to the owner and waits until it was handled. Nothing is sent once the stop
  // flag is set. After it returns the reader looks at the stop flag before it touches its device
  // again (the owner may have closed the link inside the notification).
  void notify(int notification, std::size_t bytesWaiting);
  // Non-zero while the owner runs this reader's notification (owner thread only).
  std::atomic<int> handling{0};

  // Set by the reader thread as its last act.
  void markFinished();
  // Waits until the reader has finished or `limit` has passed; returns true when it finished.
  bool waitFinished(std::chrono::milliseconds limit);

 private:
  std::mutex finishMutex_;
  std::condition_variable finishSignal_;
  bool finished_ = false;
};

// Starts `body` on a new thread; the thread marks `shared` finished when `body` returns.
std::thread startReader(std::shared_ptr<ReaderShared> shared, std::function<void(ReaderShared&)> body);

enum class ReaderStop {
  Ended,      // the reader thread has ended
  InHandler,  // the owner closes inside this reader's own notification: the reader is parked in it
              // and ends as soon as the notification returns; the device may be released now
  TimedOut,   // the reader did not end within 10 seconds and was let go with its own state
};

// Sets the stop flag and waits up to 10 seconds for the reader to end, serving the owner's blocking
// invocations meanwhile. A reader that cannot be waited for is let go (it holds its own state).
ReaderStop stopReader(ReaderShared& shared, std::thread& thread);

}  // namespace recdesk::link
