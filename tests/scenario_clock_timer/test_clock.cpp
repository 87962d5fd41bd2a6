// The recorder clock against the simulated recorder in virtual time: the check once per connection
// with its one-minute limit, "IgnoreRTC", the question's box stored whichever answer is given (and
// nothing stored when it is not answered), setting the clock.
#include <gtest/gtest.h>

#include "ClockTimerRig.h"

using namespace recdesk;
using namespace recdesk::test;
using ports::Topic;

TEST(ScenarioClock, AClockOffByMoreThanAMinuteIsAskedAboutOncePerConnection) {
  struct Case {
    long long offset;
    bool ignoreRtc;
    bool asks;
  };
  for (const Case c : {Case{60, false, false}, Case{-60, false, false}, Case{61, false, true}, Case{-61, false, true},
                       Case{3600, true, false}}) {
    ClockTimerRig rig(c.offset);
    rig.settings.ignoreRtc = c.ignoreRtc;
    rig.ui.holdQuestions = true;
    ASSERT_TRUE(rig.connect()) << rig.log;
    EXPECT_EQ(rig.asked(Topic::ClockDifference), c.asks ? 1u : 0u) << c.offset;
    EXPECT_EQ(rig.host->info().clockDifferenceSeconds.value_or(0), c.offset);
    // The question is all that is shown; another reading in the same connection asks nothing more.
    EXPECT_EQ(rig.clockShown, 0);
    rig.clock->query();
    ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clock->readings() == 2; }, 5s));
    EXPECT_EQ(rig.asked(Topic::ClockDifference), c.asks ? 1u : 0u) << c.offset;
    if (c.asks) {
      const auto& q = rig.ui.held.at(0).question;
      EXPECT_FALSE(q.checkBox.empty());
      EXPECT_NE(q.text.find("2026-03-31 23:40:00"), std::string::npos) << q.text;
    }
  }
}

TEST(ScenarioClock, TheBoxIsStoredWhicheverButtonAndOkOpensTheClockWindow) {
  for (const auto answer : {ports::Answer::Ok, ports::Answer::Cancel}) {
    for (const bool checked : {true, false}) {
      ClockTimerRig rig(-600);
      rig.ui.holdQuestions = true;
      ASSERT_TRUE(rig.connect());
      ASSERT_EQ(rig.ui.held.size(), 1u);
      rig.ui.answerHeld(0, ports::Reply{answer, 0, checked});
      EXPECT_EQ(rig.stored, std::vector<bool>{checked});
      EXPECT_EQ(rig.settings.ignoreRtc, checked);
      ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clock->readings() == 2; }, 5s));
      // OK reads the clock afresh into the clock window; Cancel only reads it.
      EXPECT_EQ(rig.clockShown, answer == ports::Answer::Ok ? 1 : 0);
      EXPECT_EQ(rig.clock->model().visible, answer == ports::Answer::Ok);
    }
  }
}

TEST(ScenarioClock, AnUnansweredQuestionIsWithdrawnAfterThirtySecondsAndStoresNothing) {
  ClockTimerRig rig(7200);
  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.connect());
  ASSERT_EQ(rig.ui.held.size(), 1u);
  rig.loop.runFor(29s);
  EXPECT_TRUE(rig.ui.withdrawn.empty());
  rig.loop.runFor(2s);
  ASSERT_EQ(rig.ui.withdrawn.size(), 1u);
  EXPECT_EQ(rig.ui.withdrawn[0], Topic::ClockDifference);
  rig.ui.answerHeld(0, ports::Reply{ports::Answer::Ok, 0, true});  // too late
  rig.loop.runFor(3s);
  EXPECT_TRUE(rig.stored.empty());
  EXPECT_FALSE(rig.settings.ignoreRtc);
  EXPECT_EQ(rig.clockShown, 0);
}

TEST(ScenarioClock, SettingSendsThePickedDateAndTheRecorderShowsIt) {
  ClockTimerRig rig;
  ASSERT_TRUE(rig.connect());
  rig.clock->command();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clockShown == 1; }, 5s));
  EXPECT_TRUE(rig.clock->model().visible);

  // A date the recorder cannot hold is not sent.
  EXPECT_FALSE(rig.clock->set({1999, 12, 31, 23, 59, 59}));
  EXPECT_FALSE(rig.clock->set({2006, 2, 29, 14, 5, 9}));
  rig.wire->faults().splitEvery = 3;  // the acknowledgement arrives in pieces
  ASSERT_TRUE(rig.clock->set({2006, 3, 1, 14, 5, 9}));
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clockShown == 2; }, 5s));
  EXPECT_EQ(rig.countSent("$R5,TIME,20060301,140509\r\n"), 1u);
  EXPECT_EQ(rig.clock->model().reading, (session::DateTime{2006, 3, 1, 14, 5, 9}));
  // The window's clock runs on with this computer's.
  rig.wall += 75;
  EXPECT_EQ(rig.clock->model().recorderNow(rig.wall), (session::DateTime{2006, 3, 1, 14, 6, 24}));

  // From this computer's clock; the window closes when the session ends.
  ASSERT_TRUE(rig.clock->setToComputerClock());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clockShown == 3; }, 5s));
  EXPECT_EQ(rig.host->info().clockDifferenceSeconds.value_or(-1), 0);
  rig.wire->unplug();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.clockHidden == 1; }, 5s));
}
