// The virtual-time event loop the scenario tests stand on.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ports/VirtualEventLoop.h"

using namespace recdesk::ports;
using namespace std::chrono_literals;

TEST(VirtualEventLoop, TimersFireInDueOrderAndSleepMovesTheClock) {
  VirtualEventLoop loop;
  std::vector<std::pair<int, long long>> fired;
  loop.setTimerHandler([&](int id) {
    fired.push_back({id, loop.elapsed().count()});
    if (id == 11) loop.stopTimer(11);
    if (id == 6) loop.sleep(700ms);  // a long paced write inside a handler
  });
  loop.startTimer(6, 1000ms);
  loop.startTimer(11, 1000ms);  // same due time: started later, fires later
  loop.startTimer(2, 400ms);
  loop.runFor(1900ms);
  // 2 at 400 and 800; 6 at 1000, which sleeps until 1700; then 11 (due at 1000) and 2 (due at 1200)
  // fire once each at 1700 — a timer that fell behind does not fire a burst.
  const std::vector<std::pair<int, long long>> expected = {{2, 400}, {2, 800}, {6, 1000}, {11, 1700}, {2, 1700}};
  EXPECT_EQ(fired, expected);
  EXPECT_EQ(loop.elapsed(), 1900ms);
  EXPECT_TRUE(loop.timerActive(6));
  EXPECT_FALSE(loop.timerActive(11));
  EXPECT_EQ(loop.ticks(2), 3u);
}

TEST(VirtualEventLoop, PostedCallsRunFirstAndRunUntilStopsAtItsCondition) {
  VirtualEventLoop loop;
  std::vector<int> order;
  loop.setTimerHandler([&](int id) { order.push_back(id); });
  loop.startTimer(1, 10ms);
  loop.post([&] {
    order.push_back(100);
    loop.post([&] { order.push_back(101); });
  });
  EXPECT_TRUE(loop.runUntil([&] { return order.size() == 3; }, 1000ms));
  EXPECT_EQ(order, (std::vector<int>{100, 101, 1}));
  EXPECT_EQ(loop.elapsed(), 10ms);
  EXPECT_FALSE(loop.runUntil([] { return false; }, 35ms));
  EXPECT_EQ(loop.elapsed(), 45ms);
}

TEST(VirtualEventLoop, TimedCallsRunAtTheirOwnPaceBetweenTimers) {
  VirtualEventLoop loop;
  std::vector<std::pair<int, long long>> order;  // (what, microseconds since the start)
  const auto at = [&] { return std::chrono::duration_cast<std::chrono::microseconds>(loop.elapsed()).count(); };
  const auto usNow = [&] {
    return std::chrono::duration_cast<std::chrono::microseconds>(loop.now().time_since_epoch()).count();
  };
  const long long start = usNow();
  loop.setTimerHandler([&](int id) {
    order.push_back({id, usNow() - start});
    loop.stopTimer(id);
  });
  loop.startTimer(10, 2ms);
  loop.postAfter(2ms, [&] { order.push_back({-2, usNow() - start}); });  // same moment: before the timer
  loop.postAfter(1700us, [&] {
    order.push_back({-1, usNow() - start});
    loop.postAfter(0ns, [&] { order.push_back({-3, usNow() - start}); });  // due now: before the later ones
  });
  loop.postAfter(2500us, [&] { order.push_back({-4, usNow() - start}); });
  loop.runFor(3ms);
  const std::vector<std::pair<int, long long>> expected = {{-1, 1700}, {-3, 1700}, {-2, 2000}, {10, 2000}, {-4, 2500}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(at(), 3000);
}

TEST(VirtualEventLoop, InvokeBlockingFromAnotherThreadRunsOnTheOwner) {
  VirtualEventLoop loop;
  const auto owner = std::this_thread::get_id();
  std::thread::id ranOn;
  bool done = false;
  std::thread reader([&] { loop.invokeBlocking([&] { ranOn = std::this_thread::get_id(); }); });
  // The owner keeps running the loop until the reader's call has run (bounded by the limit).
  for (int i = 0; i < 1000 && !done; ++i) {
    loop.runFor(1ms);
    done = ranOn == owner;
    if (!done) std::this_thread::sleep_for(1ms);
  }
  reader.join();
  EXPECT_EQ(ranOn, owner);
}
