// Format, bad-block scan, flash check, record on and off, LED and test mode against the simulated
// recorder in virtual time: the progress front ends see, the questions, the busy session and the
// end of a job that never reports its end.
#include <gtest/gtest.h>

#include "MaintenanceRig.h"
#include "session/SessionInfo.h"

using namespace recdesk;
using namespace recdesk::test;
using operations::MaintenanceJob;

namespace {

std::size_t pingsSince(const MaintenanceRig& rig, std::size_t from) {
  const auto lines = rig.linesSent();
  std::size_t n = 0;
  for (std::size_t i = from; i < lines.size(); ++i) n += lines[i] == "$R5,PING\r\n";
  return n;
}

}  // namespace

TEST(ScenarioMaintenance, FormatRunsFromStartToEndWithoutPingsAndReadsTheListAgain) {
  MaintenanceRig rig;
  ASSERT_TRUE(rig.connect());
  ASSERT_EQ(rig.host->info().listRecords, 2u);
  ASSERT_TRUE(rig.ops->maintenance().format());  // both questions answered yes
  ASSERT_EQ(rig.ui.asked.size(), 2u);            // the recordings are not on disk: asked twice
  ASSERT_TRUE(rig.run([&] { return rig.host->flags().maintenance; }, 10s));
  const std::size_t atStart = rig.linesSent().size();
  ASSERT_TRUE(rig.run([&] { return !rig.watch.progress.empty() && rig.watch.progress.back().ended; }));
  EXPECT_EQ(pingsSince(rig, atStart), 0u);  // the recorder is busy: no keep-alive
  const auto& last = rig.watch.progress.back();
  EXPECT_EQ(last.job, MaintenanceJob::Format);
  EXPECT_EQ(last.badBlocks, 3);
  EXPECT_GE(last.elapsedMs, 2900);
  bool sawBadBlock = false;
  for (const auto& p : rig.watch.progress) sawBadBlock |= p.running && p.badBlocks > 0;
  EXPECT_TRUE(sawBadBlock);
  EXPECT_FALSE(rig.host->flags().maintenance);
  EXPECT_NE(rig.log.find("Bad block found while formatting"), std::string::npos);
  // The list is read again: empty now.
  ASSERT_TRUE(rig.run([&] { return rig.host->info().listComplete && rig.host->info().listRecords == 0; }, 10s));
  EXPECT_TRUE(rig.device->recordings().empty());
  ASSERT_TRUE(rig.run([&] { return pingsSince(rig, atStart) > 0; }, 10s));  // the keep-alive is back
}

TEST(ScenarioMaintenance, TheCheckAsksAgainWhenRecordingsAreNotOnDiskAndSendsOnlyOnYes) {
  MaintenanceRig rig;
  ASSERT_TRUE(rig.connect());
  rig.ui.holdQuestions = true;
  EXPECT_TRUE(rig.ops->maintenance().checkFlash());
  EXPECT_TRUE(rig.ops->maintenance().checkFlash());  // asked once only
  ASSERT_EQ(rig.ui.held.size(), 1u);
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::FlashCheck);
  EXPECT_EQ(rig.ui.held[0].question.buttons, ports::Buttons::OkCancel);
  rig.loop.runFor(5s);  // the session goes on meanwhile
  rig.ui.answerHeld(0, ports::Answer::Ok);
  ASSERT_EQ(rig.ui.held.size(), 1u);
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::FlashCheckIncomplete);
  EXPECT_EQ(rig.ui.held[0].question.defaultAnswer, ports::Answer::No);
  rig.ui.answerHeld(0, ports::Answer::No);
  rig.loop.runFor(3s);
  EXPECT_FALSE(rig.sent("$R5,CHK\r\n"));
  EXPECT_FALSE(rig.ops->maintenance().checkQuestionOpen());

  // Cancel at the first question sends nothing either.
  EXPECT_TRUE(rig.ops->maintenance().checkFlash());
  rig.ui.answerHeld(0, ports::Answer::Cancel);
  EXPECT_TRUE(rig.ui.held.empty());
  rig.loop.runFor(3s);
  EXPECT_FALSE(rig.sent("$R5,CHK\r\n"));
}

TEST(ScenarioMaintenance, WithEveryRecordingOnDiskTheCheckAsksOnceAndFollowsEachPass) {
  MaintenanceRig rig(0);  // an empty recorder: nothing can be lost
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().checkFlash());
  EXPECT_EQ(rig.ui.asked.size(), 1u);
  ASSERT_TRUE(rig.run([&] { return !rig.watch.progress.empty() && rig.watch.progress.back().ended; }));
  EXPECT_TRUE(rig.sent("$R5,CHK\r\n"));
  int lastPass = 0;
  bool estimated = false;
  for (const auto& p : rig.watch.progress) {
    EXPECT_GE(p.check.pass, lastPass);
    lastPass = p.check.pass;
    estimated |= p.check.estimate.has_value();
    if (p.check.pass > 0) {
      EXPECT_EQ(p.check.total, 8192u);
    }
  }
  EXPECT_EQ(lastPass, 2);
  EXPECT_TRUE(estimated);
  EXPECT_EQ(rig.watch.progress.back().badBlocks, 3);
  EXPECT_FALSE(rig.host->flags().maintenance);
  EXPECT_FALSE(rig.host->state().checking);
  ASSERT_FALSE(rig.ui.messages.empty());
  EXPECT_EQ(rig.ui.messages.back().text, "The flash check is complete.");
  EXPECT_NE(rig.log.find(" Flash check complete, bad blocks: 3\r\n"), std::string::npos);
  // The list is read again: once at connecting, once after the check.
  EXPECT_TRUE(rig.run([&] { return rig.count("$R5,LST\r\n") == 2u; }, 5s));
}

TEST(ScenarioMaintenance, ACheckReportingOnlyWhatIsLeftGetsABarOfAPowerOfTwo) {
  sim::SimMaintenanceOptions options;
  options.shortPositions = true;
  options.checkPasses = 1;
  MaintenanceRig rig(0, options);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().checkFlash());
  ASSERT_TRUE(rig.run([&] { return !rig.watch.progress.empty() && rig.watch.progress.back().ended; }));
  const auto& p = rig.watch.progress[rig.watch.progress.size() - 2].check;  // the last position line
  EXPECT_EQ(p.pass, 1);
  EXPECT_EQ(p.passes, 1);
  EXPECT_EQ(p.total, 8192u);  // the first amount (7168 left) rounded up
  EXPECT_EQ(p.position, 8192u);
}

TEST(ScenarioMaintenance, AFormatOrCheckThatNeverEndsCanBeAbandonedAfterAConfirmation) {
  sim::SimMaintenanceOptions options;
  options.neverEnd = true;
  MaintenanceRig rig(0, options);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().format());
  ASSERT_TRUE(rig.run([&] { return rig.host->flags().maintenance; }, 10s));
  const std::size_t atStart = rig.linesSent().size();
  rig.loop.runFor(120s);
  EXPECT_TRUE(rig.host->flags().maintenance);  // busy, and nothing ends it
  EXPECT_EQ(pingsSince(rig, atStart), 0u);

  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.ops->maintenance().abandon());
  ASSERT_EQ(rig.ui.held.size(), 1u);
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::AbandonMaintenance);
  rig.ui.answerHeld(0, ports::Answer::No);
  EXPECT_TRUE(rig.host->flags().maintenance);
  ASSERT_TRUE(rig.ops->maintenance().abandon());
  rig.ui.answerHeld(0, ports::Answer::Yes);
  EXPECT_FALSE(rig.host->flags().maintenance);
  EXPECT_TRUE(rig.watch.progress.back().abandoned);
  EXPECT_FALSE(rig.ops->maintenance().abandon());  // nothing left to abandon
  ASSERT_TRUE(rig.run([&] { return pingsSince(rig, atStart) > 0; }, 5s));  // the session is alive again
  EXPECT_TRUE(rig.host->flags().recorderConnected);

}

TEST(ScenarioMaintenance, ACheckThatNeverEndsIsAbandonedTooAndALateAnswerChangesNothing) {
  sim::SimMaintenanceOptions options;
  options.neverEnd = true;
  MaintenanceRig rig(0, options);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().checkFlash());
  ASSERT_TRUE(rig.run([&] { return rig.host->flags().maintenance && rig.host->state().checking; }, 10s));
  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.ops->maintenance().abandon());
  rig.ui.answerHeld(0, ports::Answer::Yes);
  EXPECT_FALSE(rig.host->flags().maintenance);
  EXPECT_FALSE(rig.host->state().checking);

}

TEST(ScenarioMaintenance, AnAbandonAnswerThatComesAfterTheEndChangesNothing) {
  MaintenanceRig rig(0);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().format());
  ASSERT_TRUE(rig.run([&] { return rig.host->flags().maintenance; }, 10s));
  rig.ui.holdQuestions = true;
  ASSERT_TRUE(rig.ops->maintenance().abandon());
  ASSERT_TRUE(rig.run([&] { return rig.watch.progress.back().ended; }));
  rig.ui.answerHeld(0, ports::Answer::Yes);
  EXPECT_FALSE(rig.watch.progress.back().abandoned);
  EXPECT_EQ(rig.log.find("Stopped waiting"), std::string::npos);
}

TEST(ScenarioMaintenance, RecordOnAndOffLedAndTestMode) {
  MaintenanceRig rig;
  ASSERT_TRUE(rig.connect());
  auto& m = rig.ops->maintenance();
  m.recordOn();
  ASSERT_TRUE(rig.run([&] { return !rig.watch.records.empty(); }, 10s));
  EXPECT_EQ(rig.watch.records.back(), std::make_pair(true, true));
  EXPECT_TRUE(rig.host->flags().recording);
  m.recordOn();  // already recording: refused, and the flag stays
  ASSERT_TRUE(rig.run([&] { return rig.watch.records.size() == 2; }, 10s));
  EXPECT_EQ(rig.watch.records.back(), std::make_pair(false, true));
  m.recordOff();
  ASSERT_TRUE(rig.run([&] { return rig.host->info().listComplete && rig.host->info().listRecords == 3; }, 10s))
      << rig.log;
  EXPECT_FALSE(rig.host->flags().recording);
  EXPECT_EQ(rig.ops->list().size(), 3u);  // what was recorded is a new recording

  EXPECT_FALSE(m.setLed(4));
  ASSERT_TRUE(m.setLed(3));
  ASSERT_TRUE(rig.run([&] { return !rig.watch.leds.empty(); }, 10s));
  EXPECT_EQ(m.ledMode(), 3);

  ASSERT_TRUE(m.testModeOff());  // the recorder is not in test mode: refused
  // The second line purges the link as it goes out: the answer to the first may be gone.
  ASSERT_TRUE(rig.run([&] { return !rig.watch.testReplies.empty(); }, 10s)) << rig.log;
  EXPECT_FALSE(rig.watch.testReplies[0]);
  EXPECT_EQ(rig.ui.messages.back().text, "The recorder refused the test mode command.");
  EXPECT_NE(rig.log.find("Switching test mode off"), std::string::npos);
  EXPECT_EQ(rig.log.find("RB5RB5"), std::string::npos);  // the access token is never logged
}

TEST(ScenarioMaintenance, ABadBlockScanTheUserAsksForIsShownWithItsShare) {
  MaintenanceRig rig;
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->maintenance().scanBadBlocks());
  EXPECT_TRUE(rig.host->state().scanning);
  ASSERT_TRUE(rig.run([&] { return rig.ops->maintenance().lastScan().has_value(); }, 60s));
  EXPECT_FALSE(rig.host->state().scanning);
  const auto& scan = *rig.ops->maintenance().lastScan();
  EXPECT_EQ(scan.badBlocks, 3);
  EXPECT_EQ(scan.totalBlocks, 8192u);
  EXPECT_EQ(rig.ui.messages.back().text, scan.text);
}

TEST(ScenarioMaintenance, SettingTheRecordingTypeRunsTheFlashAndFreeSpaceQueriesAgain) {
  MaintenanceRig rig;
  ASSERT_TRUE(rig.connect());
  const auto before = rig.host->info().recordingSecondsLeft;
  ASSERT_TRUE(before.has_value());
  ASSERT_TRUE(rig.ops->maintenance().setRecordingType({"", 16000, 4, 2, 0}));
  ASSERT_TRUE(rig.run([&] { return rig.count("$R5,TIME\r\n") == 2; }, 10s));
  ASSERT_TRUE(rig.run([&] { return rig.host->info().recordingSecondsLeft != before; }, 10s));
  EXPECT_TRUE(rig.sent("$R5,TYP,16000,4,2,OFF,0\r\n"));
  EXPECT_EQ(rig.host->info().type.sampleRate, 16000u);
  EXPECT_LT(*rig.host->info().recordingSecondsLeft, *before);  // twice the samples per second
  EXPECT_NE(rig.log.find(" Setting the recording type\r\n"), std::string::npos);
}
