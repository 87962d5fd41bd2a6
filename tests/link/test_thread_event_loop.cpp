// The real event loop: timers by id on the owner thread, posted calls and blocking invocations from
// other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "LinkTestSupport.h"
#include "ports/ThreadEventLoop.h"

namespace recdesk {
namespace {

using ports::Millis;
using ports::ThreadEventLoop;
using test::kPatience;

TEST(ThreadEventLoop, TimersTickOnTheOwnerThreadUntilStoppedAndCanBeRestarted) {
  ThreadEventLoop loop;
  const auto owner = std::this_thread::get_id();
  std::vector<int> ticks;
  bool otherThread = false;
  loop.setTimerHandler([&](int id) {
    ticks.push_back(id);
    otherThread |= std::this_thread::get_id() != owner;
    if (id == 6 && std::count(ticks.begin(), ticks.end(), 6) == 3) loop.stopTimer(6);
  });
  loop.startTimer(6, Millis(1));
  EXPECT_TRUE(loop.timerActive(6));
  ASSERT_TRUE(loop.runUntil([&] { return !loop.timerActive(6); }, kPatience));
  EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 6), 3);
  EXPECT_FALSE(otherThread);

  // Restarting replaces the period; a stopped timer stays silent.
  loop.startTimer(11, Millis(1));
  loop.stopTimer(11);
  loop.startTimer(2, Millis(1));
  ASSERT_TRUE(loop.runUntil([&] { return !ticks.empty() && ticks.back() == 2; }, kPatience));
  loop.stopTimer(2);
  EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 11), 0);
}

TEST(ThreadEventLoop, PostedCallsRunInOrderOnTheOwnerAndQuitEndsRun) {
  ThreadEventLoop loop;
  const auto owner = std::this_thread::get_id();
  std::vector<int> order;
  bool offOwner = false;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i)
      loop.post([&, i] {
        order.push_back(i);
        offOwner |= std::this_thread::get_id() != owner;
      });
    loop.post([&] { loop.quit(7); });
  });
  EXPECT_EQ(loop.run(), 7);
  poster.join();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_FALSE(offOwner);
}

TEST(ThreadEventLoop, InvokeBlockingWaitsForTheOwnerAndRunsAtOnceOnTheOwner) {
  ThreadEventLoop loop;
  const auto owner = std::this_thread::get_id();

  int direct = 0;
  loop.invokeBlocking([&] { ++direct; });  // on the owner: at once
  EXPECT_EQ(direct, 1);

  std::atomic<int> ranOn{0};
  std::atomic<bool> returned{false};
  int valueSeenByCaller = 0;
  int value = 0;
  std::thread caller([&] {
    loop.invokeBlocking([&] {
      ranOn = std::this_thread::get_id() == owner ? 1 : 2;
      value = 42;
    });
    valueSeenByCaller = value;  // the call has finished before invokeBlocking returns
    returned = true;
  });
  ASSERT_TRUE(loop.runUntil([&] { return returned.load(); }, kPatience));
  caller.join();
  EXPECT_EQ(ranOn.load(), 1);
  EXPECT_EQ(valueSeenByCaller, 42);
}

TEST(ThreadEventLoop, RunPendingInvocationsServesWaitingThreadsOnly) {
  ThreadEventLoop loop;
  bool posted = false;
  loop.post([&] { posted = true; });
  std::atomic<bool> served{false};
  std::thread caller([&] { loop.invokeBlocking([&] { served = true; }); });
  while (loop.runPendingInvocations() == 0) std::this_thread::yield();
  caller.join();
  EXPECT_TRUE(served.load());
  EXPECT_FALSE(posted);  // posted calls wait for the loop proper
  loop.processEvents();
  EXPECT_TRUE(posted);
}

}  // namespace
}  // namespace recdesk
