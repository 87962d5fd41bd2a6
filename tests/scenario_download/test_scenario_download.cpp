// Whole downloads through the session host against the simulated recorder, in virtual time: the
// query chain fills the list, the download fetches and verifies every page, faults on the wire are
// repaired, an unplugged recorder leaves a partial file that the next download continues.
#include <gtest/gtest.h>

#include "DownloadRig.h"
#include "lang/Strings.h"

using namespace recdesk;
using namespace recdesk::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ScenarioDownload, TheMainJobOnTheAdapterFetchesVerifiesAndDecodes) {
  Rig rig(1000, 3);
  rig.settings.autoDecrypt = true;
  ASSERT_TRUE(rig.connect()) << rig.log;
  auto& list = rig.ops->list();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.selectedCount(), 3u);
  EXPECT_EQ(list.deviceName(), "R5-12345");

  ASSERT_TRUE(rig.downloadSelected());
  const auto& outcomes = rig.ops->download().outcomes();
  ASSERT_EQ(outcomes.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& rec = rig.device->recordings()[i];
    EXPECT_TRUE(outcomes[i].completed) << outcomes[i].problem;
    EXPECT_EQ(test::readFile(rig.im2(rec.format.fileNumber)), rig.expectedIm2(i));
    ASSERT_TRUE(outcomes[i].conversion.has_value());
    EXPECT_TRUE(outcomes[i].conversion->ok) << outcomes[i].conversion->message;
    const fs::path wav = rig.dir / "wav" / ("TRIP.R5-12345." + std::to_string(rec.format.fileNumber) + ".00.wav");
    EXPECT_GT(fs::file_size(wav), 44u);
    const auto p = rec.pageCount();
    EXPECT_TRUE(sent(rig.linesSent(), "$R5,DNL," + std::to_string(rec.format.fileNumber) + "," + std::to_string(p - 1) +
                                          "," + std::to_string(p - 1) + ",1\r\n"));
  }
  EXPECT_EQ(list.selectedCount(), 0u);
  EXPECT_FALSE(rig.host->flags().download);
  // The keep-alive runs again afterwards.
  const auto before = rig.linesSent().size();
  rig.loop.runFor(3s);
  const auto lines = rig.linesSent();
  EXPECT_TRUE(std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                          [](const std::string& l) { return l == "$R5,PING\r\n"; }));
}

TEST(ScenarioDownload, CorruptedMissingExtraAndSkippedBytesAreRepaired) {
  Rig rig(1);
  rig.device->recordings().push_back(noiseRecording(1, 300, 12345));
  rig.device->recordings().push_back(noiseRecording(2, 77, 12345));
  auto& f = rig.download->faults();
  f.flipProbability = 0.25;
  f.dropBytesNext = 2;
  f.extraBytesNext = 2;
  f.silentNext = 3;
  f.skipAheadNext = 0;
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->download().start(operations::DownloadOptions::fromSettings(rig.settings)));
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.ops->download().pagesTransferred() >= 40; }, 600s));
  f.skipAheadNext = 1;  // a block lost on the way: the recorder moves on
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.ops->download().running(); }, 3600s));

  const auto& outcomes = rig.ops->download().outcomes();
  ASSERT_EQ(outcomes.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(outcomes[i].completed) << outcomes[i].problem;
    EXPECT_EQ(outcomes[i].badPagesAccepted, 0u);
    EXPECT_EQ(test::readFile(rig.im2(static_cast<std::uint16_t>(i + 1))), rig.expectedIm2(i));
  }
  EXPECT_GT(outcomes[0].repeats, 0u);
  EXPECT_EQ(outcomes[0].resyncs, 1u);
  for (const char mark : {'.', 'v', '|', ':'}) EXPECT_NE(rig.log.find(mark), std::string::npos) << mark;
}

TEST(ScenarioDownload, WeakAndBadPagesAreAcceptedReportedAndScanned) {
  Rig rig(1000);
  rig.device->recordings().push_back(noiseRecording(1, 40, 12345));
  rig.download->faults().flakyBadPages.insert({1, 20});
  rig.download->faults().stickyBadPages.insert({1, 33});
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.downloadSelected());
  const auto& out = rig.ops->download().outcomes().at(0);
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.badPagesAccepted, 2u);
  // Each is fetched on the first request and on two fresh ones: the weak page each time with 101
  // repetitions, the bad one with 11 (12 copies).
  EXPECT_EQ(rig.download->stats().repeatsServed, 3 * (101u + 11u));
  EXPECT_EQ(out.freshRequests, 4u);
  EXPECT_EQ(rig.download->stats().cancels, 4u);
  EXPECT_EQ(rig.ops->list().row(0).entry.badPages, 2u);
  const std::string info = test::readFile(rig.dir / "im2" / "TRIP.R5-12345.1.txt");
  EXPECT_NE(info.find(lang::text(57890)), std::string::npos);
  EXPECT_NE(info.find(lang::text(57990)), std::string::npos);
  // The scan request is the download's last line; it goes out after the download has ended.
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->sending(); }, 5s));
  EXPECT_TRUE(sent(rig.linesSent(), "$R5,BAD\r\n"));
  // Every good page is in place.
  const std::string file = test::readFile(rig.im2(1));
  const std::string want = rig.expectedIm2(0);
  ASSERT_EQ(file.size(), want.size());
  std::size_t differing = 0;
  for (std::size_t page = 0; page < file.size() / 528; ++page)
    differing += file.compare(page * 528, 528, want, page * 528, 528) != 0 ? 1 : 0;
  EXPECT_EQ(differing, 2u);
}

TEST(ScenarioDownload, AnUnpluggedRecorderLeavesAPartialFileThatTheNextDownloadContinues) {
  Rig rig(1);
  rig.device->recordings().push_back(noiseRecording(1, 100, 12345));
  rig.download->faults().unplugAfterBlocks = 6;  // header + 5 data blocks
  rig.download->onUnplug = [&] { rig.wire->faults().unplugged = true; };
  int finished = 0;
  rig.ops->download().onFinished = [&] { ++finished; };
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.downloadSelected());
  EXPECT_EQ(finished, 1);  // the session's report of the loss and the failed write end it once
  EXPECT_FALSE(rig.host->flags().download);
  const auto& first = rig.ops->download().outcomes().at(0);
  EXPECT_FALSE(first.completed);
  EXPECT_EQ(first.pagesOnDisk, 40u);
  EXPECT_EQ(fs::file_size(rig.im2(1)), 41u * 528);

  // Plugged in again: the session reconnects by itself and lists the recording as 40 % on disk.
  rig.wire->faults().unplugged = false;
  rig.device->powerCycle();
  rig.installDownload();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete && rig.ops->list().size() == 1; }, 60s));
  EXPECT_EQ(rig.ops->list().row(0).columns[operations::RecordingList::kPercent], "40");
  EXPECT_TRUE(rig.ops->list().isSelected(0));
  ASSERT_TRUE(rig.downloadSelected());
  EXPECT_TRUE(rig.ops->download().outcomes().at(0).completed);
  EXPECT_TRUE(sent(rig.linesSent(), "$R5,DNL,1,40,99,8\r\n"));
  EXPECT_EQ(test::readFile(rig.im2(1)), rig.expectedIm2(0));
}

TEST(ScenarioDownload, TheRequestTimeOutRunsFromTheMomentTheRequestIsOut) {
  Rig rig(1);
  rig.device->recordings().push_back(noiseRecording(1, 40, 12345));
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->sending(); }, 5s));
  // The recorder ignores the request.
  rig.device->addCommand("DNL", [](sim::SimRecorder&, const std::string&, const std::vector<std::string>&) {});
  auto& download = rig.ops->download();
  ASSERT_TRUE(download.start(operations::DownloadOptions::fromSettings(rig.settings)));
  // The header request goes out a byte every 15 ms; its time-out starts when the last byte is out.
  EXPECT_TRUE(rig.host->sending());
  EXPECT_FALSE(rig.loop.timerActive(session::kTimerTransferRequest));
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->sending(); }, 5s));
  EXPECT_TRUE(sent(rig.linesSent(), "$R5,DNL,1,39,39,1\r\n"));
  EXPECT_TRUE(rig.loop.timerActive(session::kTimerTransferRequest));
  const std::string timedOut = lang::text(57808);
  rig.loop.runFor(999ms);
  EXPECT_EQ(rig.log.find(timedOut), std::string::npos);
  rig.loop.runFor(1ms);
  EXPECT_NE(rig.log.find(timedOut), std::string::npos);
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 60s));
  EXPECT_FALSE(download.outcomes().at(0).completed);
}

TEST(ScenarioDownload, StoppingCancelsAtTheBlockBoundaryAndASecondRunFinishes) {
  Rig rig(1);
  rig.device->recordings().push_back(noiseRecording(1, 120, 12345));
  rig.device->recordings().push_back(noiseRecording(2, 10, 12345));
  ASSERT_TRUE(rig.connect());
  auto& download = rig.ops->download();
  ASSERT_TRUE(download.start(operations::DownloadOptions::fromSettings(rig.settings)));
  ASSERT_TRUE(rig.loop.runUntil([&] { return download.pagesTransferred() >= 32; }, 600s));
  download.requestStop();
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 600s));
  EXPECT_EQ(rig.download->stats().cancels, 1u);
  const auto onDisk = download.outcomes().at(0).pagesOnDisk;
  EXPECT_GE(onDisk, 32u);
  EXPECT_EQ(fs::file_size(rig.im2(1)), (onDisk + 1) * 528);
  EXPECT_FALSE(fs::exists(rig.im2(2)));

  ASSERT_TRUE(rig.downloadSelected());  // both rows are still selected
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_EQ(test::readFile(rig.im2(1)), rig.expectedIm2(0));
  EXPECT_EQ(test::readFile(rig.im2(2)), rig.expectedIm2(1));
}

TEST(ScenarioDownload, AnOlderRecordingOfTheSameNameIsMovedAsideAndTheNewOneFetchedWhole) {
  // The recorder was formatted since the last download: its new recording 1 (113 pages at 22 kHz)
  // meets the first 41 pages of the old recording 1 (8 kHz) and its report in the download folder.
  Rig rig(1);
  sim::RecordingFormat now;
  now.fileNumber = 1;
  now.sampleRate = 22050;
  now.start = {2024, 6, 2, 14, 5, 0};
  rig.device->recordings().push_back(sim::noiseRecording(now, 113, 17));
  sim::RecordingFormat before;
  before.fileNumber = 1;
  before.sampleRate = 8000;
  const auto oldBytes = sim::noiseRecording(before, 44, 5).im2();
  const std::string oldIm2 = std::string(oldBytes.begin(), oldBytes.end()).substr(0, 42 * 528);
  const fs::path oldInfo = rig.dir / "im2" / "TRIP.R5-12345.1.txt";
  test::writeFile(rig.im2(1), oldIm2);
  test::writeFile(oldInfo, "the old recording's report\r\n");

  ASSERT_TRUE(rig.connect()) << rig.log;
  ASSERT_EQ(rig.ops->list().size(), 1u);
  ASSERT_TRUE(rig.downloadSelected());

  const auto& out = rig.ops->download().outcomes().at(0);
  EXPECT_TRUE(out.completed) << out.problem;
  EXPECT_EQ(out.pagesTransferred, 113u);
  EXPECT_EQ(test::readFile(rig.im2(1)), rig.expectedIm2(0));
  const fs::path movedIm2 = rig.dir / "im2" / "TRIP.R5-12345.1.old-1.im2";
  const fs::path movedInfo = rig.dir / "im2" / "TRIP.R5-12345.1.old-1.txt";
  EXPECT_EQ(test::readFile(movedIm2), oldIm2);
  EXPECT_EQ(test::readFile(movedInfo), "the old recording's report\r\n");
  EXPECT_EQ(out.movedAside, (std::vector<fs::path>{movedIm2, movedInfo}));
  EXPECT_NE(rig.log.find(lang::text(58615) + " " + movedIm2.string()), std::string::npos);
  // The new report is a report of the new recording alone.
  EXPECT_EQ(test::readFile(oldInfo).find("old recording"), std::string::npos);
  EXPECT_TRUE(rig.ops->list().completeOnDisk(0));
  EXPECT_TRUE(sent(rig.linesSent(), "$R5,DNL,1,112,112,1\r\n"));
}

TEST(ScenarioDownload, TheBadBlockScanAfterAcceptedBadPagesReportsItsResult) {
  Rig rig(1000);
  rig.device->config().badBlocks = 41;
  rig.device->recordings().push_back(noiseRecording(1, 24, 12345));
  rig.download->faults().stickyBadPages.insert({1, 5});
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.downloadSelected());
  EXPECT_TRUE(rig.ops->download().scanRequested());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.ops->badBlockScan().has_value(); }, 10s));
  const auto& scan = *rig.ops->badBlockScan();
  EXPECT_EQ(scan.badBlocks, 41);
  EXPECT_EQ(scan.totalBlocks, 8192u);  // two 512 MB banks
  ASSERT_TRUE(scan.percent.has_value());
  EXPECT_DOUBLE_EQ(*scan.percent, 41 * 100.0 / 8192);
  EXPECT_EQ(scan.text, lang::text(57935) + ": 41\r\n\r\n" + lang::text(57992) + ": 0.50%");
}

TEST(ScenarioDownload, TheExistingFileAnswerComesAfterPingsAndRepliesAndTheDownloadGoesOn) {
  Rig rig(1000, 2);
  ASSERT_TRUE(rig.connect());
  const auto& rec = rig.device->recordings()[0];
  const std::string partial = rig.expectedIm2(0).substr(0, 4 * 528);
  test::writeFile(rig.im2(rec.format.fileNumber), partial);
  auto& list = rig.ops->list();
  for (std::size_t row = 0; row < list.size(); ++row) list.setSelected(row, true);

  rig.ui.holdQuestions = true;
  auto& download = rig.ops->download();
  ASSERT_TRUE(download.start(operations::DownloadOptions::fromSettings(rig.settings)));
  ASSERT_EQ(rig.ui.held.size(), 1u);
  const auto mark = rig.linesSent().size();
  // Several seconds: the keep-alive pings, the recorder answers each ping, nothing else is sent.
  rig.loop.runFor(4s);
  const auto waiting = rig.linesSent();
  ASSERT_GE(waiting.size(), mark + 3);
  for (auto l = waiting.begin() + static_cast<std::ptrdiff_t>(mark); l != waiting.end(); ++l) EXPECT_EQ(*l, "$R5,PING\r\n");
  EXPECT_TRUE(download.asking());
  EXPECT_TRUE(rig.host->flags().recorderConnected);

  rig.ui.answerHeld(0, ports::Reply{ports::Answer::Ok, static_cast<std::size_t>(ports::ExistingFileChoice::Continue)});
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 600s));
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_TRUE(download.outcomes()[0].completed) << download.outcomes()[0].problem;
  EXPECT_TRUE(download.outcomes()[1].completed) << download.outcomes()[1].problem;
  EXPECT_EQ(download.outcomes()[0].pagesTransferred, rec.pageCount() - 3);  // continued after its 3 data pages
  EXPECT_EQ(test::readFile(rig.im2(rec.format.fileNumber)), rig.expectedIm2(0));
}

TEST(ScenarioDownload, ReplacingAnEarlierDecodingIsAskedAndTheQueueWaitsForTheAnswer) {
  Rig rig(1000, 2);
  rig.settings.autoDecrypt = true;
  ASSERT_TRUE(rig.connect());
  const auto& first = rig.device->recordings()[0];
  const auto& second = rig.device->recordings()[1];
  const auto wav = [&](std::uint16_t n) {
    return rig.dir / "wav" / ("TRIP.R5-12345." + std::to_string(n) + ".00.wav");
  };
  test::writeFile(wav(first.format.fileNumber), "an earlier decoding");

  rig.ui.holdQuestions = true;
  auto& download = rig.ops->download();
  ASSERT_TRUE(download.start(operations::DownloadOptions::fromSettings(rig.settings)));
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.ui.held.empty(); }, 600s));
  EXPECT_EQ(rig.ui.held[0].question.topic, ports::Topic::OverwriteFile);
  EXPECT_EQ(rig.ui.held[0].question.defaultAnswer, ports::Answer::No);
  const auto mark = rig.linesSent().size();
  rig.loop.runFor(3s);
  const auto waiting = rig.linesSent();
  for (auto l = waiting.begin() + static_cast<std::ptrdiff_t>(mark); l != waiting.end(); ++l) EXPECT_EQ(*l, "$R5,PING\r\n");
  EXPECT_FALSE(fs::exists(rig.im2(second.format.fileNumber)));  // the next recording waits

  rig.ui.answerHeld(0, ports::Answer::No);
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 600s));
  ASSERT_EQ(download.outcomes().size(), 2u);
  ASSERT_TRUE(download.outcomes()[0].conversion.has_value());
  EXPECT_FALSE(download.outcomes()[0].conversion->ok);
  EXPECT_EQ(test::readFile(wav(first.format.fileNumber)), "an earlier decoding");
  ASSERT_TRUE(download.outcomes()[1].conversion.has_value());
  EXPECT_TRUE(download.outcomes()[1].conversion->ok) << download.outcomes()[1].conversion->message;
  EXPECT_GT(fs::file_size(wav(second.format.fileNumber)), 44u);
}

namespace {

// A front end that only listens: every event it gets, in order.
struct Watcher : operations::FrontEndObserver {
  void onState(const session::SessionState& s) override { states.push_back(s); }
  void onListReset() override { events.push_back("reset"); }
  void onRowChanged(std::size_t index) override { events.push_back("row " + std::to_string(index)); }
  void onSelectionSums(const operations::SelectionSums& s) override { sums.push_back(s); }
  void onRecordingStarted(std::uint16_t n, std::size_t row) override {
    events.push_back("start " + std::to_string(n) + " row " + std::to_string(row));
  }
  void onDownloadProgress(const operations::DownloadProgress& p) override { progress.push_back(p); }
  void onRecordingFinished(const operations::RecordingOutcome& o) override {
    events.push_back("finish " + std::to_string(o.fileNumber) + (o.completed ? " completed" : " not completed"));
  }
  bool sawState(bool (*test)(const session::SessionState&)) const {
    return std::any_of(states.begin(), states.end(), test);
  }
  std::vector<session::SessionState> states;
  std::vector<std::string> events;
  std::vector<operations::SelectionSums> sums;
  std::vector<operations::DownloadProgress> progress;
};

}  // namespace

TEST(ScenarioDownload, AFrontEndFollowsListDownloadAndScanThroughOneObserver) {
  Rig rig(1000);
  rig.device->config().badBlocks = 41;
  rig.device->recordings().push_back(noiseRecording(1, 24, 12345));
  rig.device->recordings().push_back(noiseRecording(2, 400, 12345));  // long enough for a rate
  rig.download->faults().stickyBadPages.insert({1, 5});
  rig.pace(3000000, 4096, 1ms);  // time passes on the wire: the rate is known
  Watcher watcher;
  rig.ops->setFrontEnd(&watcher);
  ASSERT_EQ(watcher.states.size(), 1u);
  ASSERT_TRUE(rig.connect());
  EXPECT_EQ(watcher.states.back().recorderName, "R5-12345");

  // The listing: emptied, then each row as it comes, with the selection's sums.
  ASSERT_GE(watcher.events.size(), 3u);
  const auto reset = std::find(watcher.events.begin(), watcher.events.end(), "reset");
  ASSERT_NE(reset, watcher.events.end());
  EXPECT_EQ(*(reset + 1), "row 0");
  EXPECT_EQ(*(reset + 2), "row 1");
  ASSERT_FALSE(watcher.sums.empty());
  EXPECT_EQ(watcher.sums.back().count, 2u);
  EXPECT_EQ(watcher.sums.back().pagesToTransfer, 24u + 400u);
  EXPECT_EQ(watcher.sums.back(), rig.ops->list().selectionSums());

  watcher.events.clear();
  ASSERT_TRUE(rig.downloadSelected());
  const auto has = [&](const std::string& e) {
    return std::find(watcher.events.begin(), watcher.events.end(), e) != watcher.events.end();
  };
  EXPECT_TRUE(has("start 1 row 0"));
  EXPECT_TRUE(has("finish 1 completed"));
  EXPECT_TRUE(has("start 2 row 1"));
  EXPECT_TRUE(has("finish 2 completed"));
  EXPECT_LT(std::find(watcher.events.begin(), watcher.events.end(), "finish 1 completed"),
            std::find(watcher.events.begin(), watcher.events.end(), "start 2 row 1"));

  // Progress as numbers: it only grows, names the recording under way, ends at the total.
  ASSERT_FALSE(watcher.progress.empty());
  for (std::size_t i = 1; i < watcher.progress.size(); ++i)
    EXPECT_GE(watcher.progress[i].transferred, watcher.progress[i - 1].transferred);
  const auto& last = watcher.progress.back();
  EXPECT_EQ(last.fileNumber, 2u);
  EXPECT_EQ(last.transferred, last.total);
  EXPECT_EQ(last.total, 24u + 400u);
  EXPECT_EQ(last.pagesDone, last.pages);
  EXPECT_GT(last.bytesPerSecond, 0.0);
  ASSERT_TRUE(last.secondsLeft.has_value());
  EXPECT_EQ(*last.secondsLeft, 0u);
  const auto firstDone = std::find_if(watcher.progress.begin(), watcher.progress.end(),
                                      [](const operations::DownloadProgress& p) { return p.fileNumber == 1 && p.pagesDone == p.pages; });
  ASSERT_NE(firstDone, watcher.progress.end());
  EXPECT_EQ(firstDone->badPages, 1u);
  EXPECT_GT(firstDone->repeats, 0u);

  // The session state: downloading while it ran, then the scan it asked for until its result came.
  EXPECT_TRUE(watcher.sawState([](const session::SessionState& s) { return s.downloading; }));
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.ops->badBlockScan().has_value(); }, 10s));
  EXPECT_TRUE(watcher.sawState([](const session::SessionState& s) { return s.scanning && !s.downloading; }));
  EXPECT_FALSE(watcher.states.back().scanning);
  EXPECT_FALSE(watcher.states.back().downloading);
  rig.ops->setFrontEnd(nullptr);
}
