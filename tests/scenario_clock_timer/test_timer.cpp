// The timer programme against the simulated recorder in virtual time, on a lumpy link: reading it
// (entries outside the rows ignored), the totals against the recorder's clock and its free time,
// writing it one entry per acknowledgement and arming, an acknowledgement that never comes,
// clearing through the queue, and the armed notice.
#include <gtest/gtest.h>

#include "ClockTimerRig.h"

using namespace recdesk;
using namespace recdesk::test;
using operations::TimerEntry;
using ports::Topic;
using session::DateTime;

namespace {

sim::SimTimerOptions programme(int slots, std::vector<sim::SimTimerEntry> entries = {}) {
  sim::SimTimerOptions o;
  o.slots = slots;
  o.entries = std::move(entries);
  return o;
}

// The lines written to the recorder's programme, in order ("$R5,TMR,PGM,<index>,…").
std::vector<std::string> entryLines(const ClockTimerRig& rig) {
  std::vector<std::string> lines;
  for (const auto& l : rig.linesSent())
    if (l.rfind("$R5,TMR,PGM,", 0) == 0) lines.push_back(l);
  return lines;
}

}  // namespace

TEST(ScenarioTimer, ReadingFillsTheRowsByIndexAndIgnoresIndicesBeyondThem) {
  // The recorder's clock is 10 minutes ahead: 23:50. Entry 0 started 10 minutes ago for an hour.
  ClockTimerRig rig(600, programme(21, {{"20260331", "234000", 3600}, {"20260331", "200000", 600}}));
  rig.simTimer->entries()[19] = {"20260401", "100000", 60};
  rig.simTimer->entries()[20] = {"20260401", "100000", 60};
  ASSERT_TRUE(rig.connect());
  rig.wire->faults().splitEvery = 5;
  ASSERT_TRUE(rig.read()) << rig.log;

  const auto& m = rig.programme->model();
  EXPECT_TRUE(m.enabled);
  EXPECT_EQ(m.rowCount(), 19u);
  EXPECT_EQ(m.rows[0]->start, (DateTime{2026, 3, 31, 23, 40, 0}));
  EXPECT_EQ(m.reading, (DateTime{2026, 3, 31, 23, 50, 0}));
  const auto totals = m.totals(rig.wall);
  EXPECT_EQ(totals.pendingSeconds, 50u * 60u);
  EXPECT_TRUE(totals.pending[0]);
  EXPECT_FALSE(totals.pending[1]);
  ASSERT_TRUE(m.freeSeconds.has_value());
  EXPECT_EQ(*m.freeSeconds, rig.host->info().recordingSecondsLeft.value_or(0));
  EXPECT_EQ(m.freeAfterText(rig.wall), operations::timerSpanText(static_cast<std::int64_t>(*m.freeSeconds) - 3000));
  EXPECT_TRUE(m.okEnabled(rig.wall));
  // Both out-of-range entries were logged and left alone; the clock was read after the end.
  EXPECT_EQ(rig.log.find("ignored; its index: 19") != std::string::npos, true) << rig.log;
  EXPECT_NE(rig.log.find("ignored; its index: 20"), std::string::npos);
  const auto lines = rig.linesSent();
  EXPECT_EQ(lines.back(), "$R5,TIME\r\n");
  EXPECT_EQ(rig.clockShown, 0);  // the reading went to the programme, not to the clock window

  // Ten minutes later the started entry has 40 minutes left.
  rig.wall += 600;
  EXPECT_EQ(m.totals(rig.wall).pendingSeconds, 40u * 60u);
}

TEST(ScenarioTimer, AnEmptyProgrammeOffersNothingToWrite) {
  ClockTimerRig rig(0, programme(0));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  EXPECT_EQ(rig.programme->model().rowCount(), 0u);
  EXPECT_FALSE(rig.programme->model().okEnabled(rig.wall));
  EXPECT_FALSE(rig.programme->write());
}

TEST(ScenarioTimer, WritingSendsEveryRowOnePerAcknowledgementThenArmsAndTheNoticeDisarms) {
  ClockTimerRig rig(0, programme(4, {{"20200101", "080000", 60}}));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  rig.wire->faults().splitEvery = 2;
  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.programme->editRow(1, TimerEntry{{2026, 4, 1, 8, 0, 0}, 5400}));
  EXPECT_FALSE(rig.programme->editRow(7, TimerEntry{{2026, 4, 1, 8, 0, 0}, 60}));  // not reported
  ASSERT_TRUE(rig.programme->write());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->state().timerArmed; }, 30s)) << rig.log;

  // Every reported row, the past one too, in order, then the arming line.
  EXPECT_EQ(rig.simTimer->writes, (std::vector<std::string>{"$R5,TMR,PGM,0,20200101,080000,60",
                                                             "$R5,TMR,PGM,1,20260401,080000,5400",
                                                             "$R5,TMR,PGM,2,20000101,000000,0",
                                                             "$R5,TMR,PGM,3,20000101,000000,0"}));
  EXPECT_EQ(rig.linesSent().back(), "$R5,TMR,ON\r\n");
  EXPECT_EQ(rig.written, std::vector<bool>{true});
  EXPECT_EQ(rig.programmeClosed, 1);
  EXPECT_TRUE(rig.simTimer->armed());
  EXPECT_TRUE(rig.host->state().locked);

  // The notice comes once (the recorder keeps saying "$R5,TIMER"); OK disarms.
  rig.loop.runFor(3s);
  ASSERT_EQ(rig.asked(Topic::TimerNotice), 1u);
  rig.ui.answerHeld(0, ports::Answer::Ok);
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->state().timerArmed; }, 10s));
  EXPECT_FALSE(rig.simTimer->armed());
  EXPECT_EQ(rig.quitRequests, 0);
  // The session starts again: the query chain runs.
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 30s));
}

TEST(ScenarioTimer, AMissingAcknowledgementIsSentAgainAndThenStopsTheWriteUnarmed) {
  ClockTimerRig rig(0, programme(3));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  ASSERT_TRUE(rig.programme->editRow(0, TimerEntry{{2026, 4, 1, 8, 0, 0}, 60}));

  // One lost acknowledgement: the entry goes again and the write completes.
  rig.simTimer->dropAcksNext = 1;
  ASSERT_TRUE(rig.programme->write());
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.written.empty(); }, 30s));
  EXPECT_EQ(rig.written.back(), true);
  EXPECT_EQ(rig.simTimer->writes.size(), 4u);
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->state().timerArmed; }, 10s));

  // A recorder that never acknowledges: three tries, a message, and no arming.
  ClockTimerRig deaf(0, programme(3));
  ASSERT_TRUE(deaf.connect());
  ASSERT_TRUE(deaf.read());
  ASSERT_TRUE(deaf.programme->editRow(0, TimerEntry{{2026, 4, 1, 8, 0, 0}, 60}));
  deaf.simTimer->dropAcksNext = 100;
  ASSERT_TRUE(deaf.programme->write());
  ASSERT_TRUE(deaf.loop.runUntil([&] { return !deaf.written.empty(); }, 60s));
  EXPECT_EQ(deaf.written.back(), false);
  EXPECT_EQ(deaf.simTimer->writes.size(), 3u);
  EXPECT_EQ(deaf.countSent("$R5,TMR,ON\r\n"), 0u);
  EXPECT_FALSE(deaf.simTimer->armed());
  ASSERT_FALSE(deaf.ui.messages.empty());
  EXPECT_NE(deaf.ui.messages.back().text.find("not armed"), std::string::npos);
  EXPECT_TRUE(deaf.programme->model().visible);  // the window stays for another try
}

TEST(ScenarioTimer, ClearingSendsEachLineAfterThePreviousAcknowledgement) {
  ClockTimerRig rig(0, programme(3, {{"20260401", "080000", 60}, {"20260402", "080000", 60}, {"20260403", "080000", 60}}));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  rig.wire->clearTrace();
  ASSERT_TRUE(rig.programme->clear());
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.written.empty(); }, 30s));
  EXPECT_EQ(rig.written.back(), true);
  EXPECT_EQ(entryLines(rig), (std::vector<std::string>{"$R5,TMR,PGM,0,20000101,000000,0\r\n",
                                                        "$R5,TMR,PGM,1,20000101,000000,0\r\n",
                                                        "$R5,TMR,PGM,2,20000101,000000,0\r\n"}));
  // On the wire: each clearing line only after the acknowledgement of the one before.
  std::string seq, line;  // W: a clearing line complete on the wire, A: its acknowledgement sent back
  for (const auto& e : rig.wire->trace()) {
    if (e.kind == sim::WireEvent::HostWrite) {
      for (const char c : e.text) {
        line.push_back(c);
        if (c != '\n') continue;
        if (line.find("TMR,PGM,") != std::string::npos) seq += 'W';
        line.clear();
      }
    }
    if (e.kind == sim::WireEvent::DeviceSent && e.text.find("ACK,TMR,PGM,") != std::string::npos) seq += 'A';
  }
  EXPECT_EQ(seq, "WAWAWA");
  EXPECT_EQ(rig.countSent("$R5,TMR,ON\r\n"), 0u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(*rig.programme->model().rows[i], operations::clearedTimerEntry());
}

TEST(ScenarioTimer, AProgrammeOneSecondOverTheFreeTimeIsWrittenOnlyWhenTheUserAgrees) {
  ClockTimerRig rig(0, programme(2));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  const std::uint64_t free = rig.programme->model().freeSeconds.value_or(0);
  ASSERT_GT(free, 0u);
  ASSERT_TRUE(rig.programme->editRow(0, TimerEntry{{2026, 4, 1, 8, 0, 0}, static_cast<std::uint32_t>(free + 1)}));
  EXPECT_EQ(rig.programme->model().freeAfterText(rig.wall), "-00:00:01");
  EXPECT_TRUE(rig.programme->model().exceedsFree(rig.wall));

  rig.ui.answers = {ports::Answer::No};
  EXPECT_FALSE(rig.programme->write());
  rig.loop.runFor(2s);
  EXPECT_TRUE(entryLines(rig).empty());
  EXPECT_EQ(rig.asked(Topic::TimerOverFree), 1u);

  rig.ui.answers = {ports::Answer::Yes};
  EXPECT_TRUE(rig.programme->write());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->state().timerArmed; }, 30s));
  EXPECT_EQ(entryLines(rig).size(), 2u);
}

TEST(ScenarioTimer, CancelInTheNoticeQuitsAndLeavesTheRecorderArmed) {
  auto options = programme(2);
  options.armed = true;
  ClockTimerRig rig(0, options);
  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.connect());
  EXPECT_TRUE(rig.host->state().timerArmed);
  EXPECT_FALSE(rig.host->info().chainComplete);
  ASSERT_EQ(rig.asked(Topic::TimerNotice), 1u);
  rig.ui.answerHeld(0, ports::Answer::Cancel);
  EXPECT_EQ(rig.quitRequests, 1);
  rig.host->shutdown(true);
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->shutdownComplete(); }, 5s));
  EXPECT_EQ(rig.countSent("$R5,TMR,OFF\r\n"), 0u);
  EXPECT_TRUE(rig.simTimer->armed());
}

TEST(ScenarioTimer, ALinkLostDuringAWriteEndsItAndDisablesTheWindow) {
  ClockTimerRig rig(0, programme(6));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  ASSERT_TRUE(rig.programme->editRow(0, TimerEntry{{2026, 4, 1, 8, 0, 0}, 60}));
  ASSERT_TRUE(rig.programme->write());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.simTimer->writes.size() == 2; }, 10s));
  rig.wire->unplug();
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.written.empty(); }, 10s));
  EXPECT_EQ(rig.written.back(), false);
  EXPECT_FALSE(rig.programme->model().enabled);
  EXPECT_EQ(rig.programme->model().freeAfterText(rig.wall), "00:00:00");
  EXPECT_FALSE(rig.simTimer->armed());
}

TEST(ScenarioTimer, AWindowLeftOpenOverALostLinkIsReadAgainAndEnabledWhenTheRecorderIsBack) {
  ClockTimerRig rig(0, programme(3));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.read());
  ASSERT_TRUE(rig.programme->model().enabled);
  rig.wire->unplug();
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->linkOpen(); }, 10s));
  EXPECT_FALSE(rig.programme->model().enabled);
  EXPECT_TRUE(rig.programme->model().visible);
  EXPECT_FALSE(rig.programme->write());  // nothing goes out to a recorder that is not there

  rig.wire->faults().unplugged = false;
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.programme->model().enabled; }, 30s));
  EXPECT_EQ(rig.countSent("$R5,TMR,PGM\r\n"), 2u);
  EXPECT_EQ(rig.programme->model().rowCount(), 3u);
  EXPECT_TRUE(rig.programme->model().freeSeconds.has_value());
}
