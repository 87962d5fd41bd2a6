// The Qt event loop port: timers by id, posted calls, and the reader thread's synchronous
// hand-over, which the owner must be able to drain while it waits for the reader to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "platform/QtEventLoop.h"
#include "link/ReaderThread.h"

using namespace std::chrono_literals;
using recdesk::gui::QtEventLoop;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

TEST(QtEventLoop, TimersFireByIdUntilStoppedAndMayBeStoppedFromTheirOwnHandler) {
  guiApp();
  QtEventLoop loop;
  std::vector<int> fired;
  loop.setTimerHandler([&](int id) {
    fired.push_back(id);
    if (id == 11) loop.stopTimer(11);  // a one-shot made from a repeating timer
  });
  loop.startTimer(11, 5ms);
  loop.startTimer(6, 5ms);
  EXPECT_TRUE(loop.timerActive(11));
  EXPECT_FALSE(loop.timerActive(2));
  ASSERT_TRUE(processUntil([&] { return std::count(fired.begin(), fired.end(), 6) >= 3; }, 2000));
  EXPECT_EQ(std::count(fired.begin(), fired.end(), 11), 1);
  EXPECT_FALSE(loop.timerActive(11));
  loop.stopTimer(6);
  const auto count = fired.size();
  processUntil([] { return false; }, 40);
  EXPECT_EQ(fired.size(), count);
  EXPECT_FALSE(loop.timerActive(6));
}

TEST(QtEventLoop, PostedCallsRunLaterOnTheGuiThreadInOrder) {
  guiApp();
  QtEventLoop loop;
  std::vector<int> order;
  std::thread::id ranOn;
  loop.post([&] { order.push_back(1); });
  std::thread other([&] { loop.post([&] { order.push_back(2); ranOn = std::this_thread::get_id(); }); });
  other.join();
  EXPECT_TRUE(order.empty());  // not at once
  ASSERT_TRUE(processUntil([&] { return order.size() == 2; }, 2000));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(QtEventLoop, BlockingInvocationRunsOnTheGuiThreadAndReturnsAfterIt) {
  guiApp();
  QtEventLoop loop;
  std::atomic<bool> returned{false};
  std::thread::id ranOn;
  int value = 0;
  std::thread reader([&] {
    loop.invokeBlocking([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    });
    returned = true;
  });
  ASSERT_TRUE(processUntil([&] { return returned.load(); }, 2000));
  reader.join();
  EXPECT_EQ(value, 42);
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // On the GUI thread itself the call runs at once.
  bool now = false;
  loop.invokeBlocking([&] { now = true; });
  EXPECT_TRUE(now);
}

// The link's Close: the GUI thread waits for a reader that is blocked handing over a notification.
// The wait drains the hand-over itself, so the reader ends at once instead of after its time-out.
TEST(QtEventLoop, StoppingAReaderThatIsHandingOverDoesNotWaitForTheTimeOut) {
  guiApp();
  QtEventLoop loop;
  auto shared = std::make_shared<recdesk::link::ReaderShared>();
  shared->context.loop = &loop;
  std::atomic<int> handed{0};
  std::thread reader = recdesk::link::startReader(shared, [&](recdesk::link::ReaderShared& s) {
    while (!s.stop) s.handOver([&] { ++handed; });
  });
  ASSERT_TRUE(processUntil([&] { return handed >= 3; }, 2000));

  // No Qt event processing from here on: the reader is (or soon is) parked in a hand-over.
  std::this_thread::sleep_for(5ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(recdesk::link::stopReader(*shared, reader), recdesk::link::ReaderStop::Ended);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  if (reader.joinable()) reader.join();
}

TEST(QtEventLoop, ThreadsWaitingWhenTheLoopGoesAreReleased) {
  guiApp();
  auto loop = std::make_unique<QtEventLoop>();
  std::atomic<bool> returned{false};
  std::atomic<bool> ran{false};
  std::atomic<bool> calling{false};
  std::thread reader([&] {
    calling = true;
    loop->invokeBlocking([&] { ran = true; });
    returned = true;
  });
  while (!calling) std::this_thread::yield();
  std::this_thread::sleep_for(50ms);  // the reader is queued (no events are processed)
  loop.reset();
  reader.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(ran);
  QCoreApplication::processEvents();  // the wake-up of the gone loop does nothing
}
