// The level preview against the simulated recorder in virtual time: how many pages it asks for, the
// levels of each page, blocks with surplus bytes fetched again (at most three times), a silent
// recorder, and the session alive again afterwards.
#include <gtest/gtest.h>

#include "MaintenanceRig.h"
#include "operations/LevelTables.h"

using namespace recdesk;
using namespace recdesk::test;

namespace {

// A rig whose recorder holds recording 1 (120 pages, stereo) and recording 2 (5000 pages, mono).
struct PreviewRig : MaintenanceRig {
  PreviewRig() : MaintenanceRig(0) {
    sim::RecordingFormat stereo;
    stereo.fileNumber = 1;
    stereo.channels = 2;
    device->recordings().push_back(sim::noiseRecording(stereo, 120, 11));
    sim::RecordingFormat mono;
    mono.fileNumber = 2;
    device->recordings().push_back(sim::noiseRecording(mono, 5000, 22));
  }
  bool preview(std::size_t row) {
    watch.preview.reset();
    if (!ops->preview().start(row, settings.acceleration)) return false;
    return run([&] { return watch.preview.has_value(); });
  }
  // The levels the recorder's own pages give.
  void expectLevelsOf(std::size_t recording, const operations::LevelPreviewResult& r) {
    const sim::Recording& rec = device->recordings()[recording];
    for (std::size_t i = 0; i < r.tables.count(); ++i) {
      const operations::PageLevels want = operations::pageLevels(rec.page(i));
      ASSERT_EQ(r.tables.low[0][i], want.low[0]) << "page " << i;
      ASSERT_EQ(r.tables.high[0][i], want.high[0]) << "page " << i;
      if (r.channels == 2) {
        ASSERT_EQ(r.tables.high[1][i], want.high[1]) << "page " << i;
      }
    }
  }
};

}  // namespace

TEST(ScenarioPreview, AShortRecordingIsPreviewedWholeALongOneOverItsFirst300Pages) {
  PreviewRig rig;
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.preview(0));
  const auto& r = *rig.watch.preview;
  ASSERT_TRUE(r.complete) << r.problem;
  EXPECT_TRUE(rig.sent("$R5,SMP,1,120,8\r\n"));
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.tables.count(), 120u);
  rig.expectLevelsOf(0, r);
  EXPECT_EQ(r.statistics, operations::levelStatistics(r.tables));
  EXPECT_NE(rig.log.find(" Level preview complete\r\n"), std::string::npos);

  ASSERT_TRUE(rig.preview(1));
  const auto& longer = *rig.watch.preview;
  ASSERT_TRUE(longer.complete) << longer.problem;
  EXPECT_TRUE(rig.sent("$R5,SMP,2,300,8\r\n"));
  EXPECT_EQ(longer.tables.count(), 300u);
  rig.expectLevelsOf(1, longer);
  // Blocks of 8 pages: the last one holds 4.
  ASSERT_GE(rig.watch.previewPages.size(), 2u);
  EXPECT_EQ(rig.watch.previewPages.back(), 300u);
  EXPECT_EQ(rig.watch.previewPages[rig.watch.previewPages.size() - 2], 296u);
  EXPECT_FALSE(rig.host->state().previewing);
  EXPECT_FALSE(rig.host->inBlockMode());
}

TEST(ScenarioPreview, SurplusBytesAreFetchedAgainAtMostThreeTimes) {
  PreviewRig rig;
  ASSERT_TRUE(rig.connect());
  rig.download->faults().extraBytesNext = 3;
  ASSERT_TRUE(rig.preview(0));
  ASSERT_TRUE(rig.watch.preview->complete) << rig.watch.preview->problem;
  EXPECT_EQ(rig.ops->preview().surplusRetries(), 3);
  rig.expectLevelsOf(0, *rig.watch.preview);
  EXPECT_TRUE(rig.ui.messages.empty());

  // A fourth surplus in a row stops the preview and tells the user.
  rig.download->faults().extraBytesNext = 4;
  ASSERT_TRUE(rig.preview(0));
  const auto& r = *rig.watch.preview;
  EXPECT_FALSE(r.complete);
  EXPECT_FALSE(r.problem.empty());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "The level preview received faulty data and was stopped.");
  EXPECT_EQ(rig.download->stats().cancels, 1u);
  // The session is alive again: the keep-alive pings.
  const std::size_t before = rig.count("$R5,PING\r\n");
  ASSERT_TRUE(rig.run([&] { return rig.count("$R5,PING\r\n") > before; }, 5s));
}

TEST(ScenarioPreview, DoubledShortAndUnheardBlocksStillGiveTheRightLevels) {
  PreviewRig rig;
  ASSERT_TRUE(rig.connect());
  rig.download->faults().silentNext = 2;     // two "n" not heard: block time-outs ask again
  rig.download->faults().doubleNext = 1;     // one block twice in one go
  rig.download->faults().dropBytesNext = 1;  // one block short: the time-out repeats it
  ASSERT_TRUE(rig.preview(0));
  ASSERT_TRUE(rig.watch.preview->complete) << rig.watch.preview->problem;
  rig.expectLevelsOf(0, *rig.watch.preview);

  // A recorder that stops sending ends the preview after its empty time-outs, with a reason.
  rig.download->faults().silentNext = 1000;
  ASSERT_TRUE(rig.preview(1));
  EXPECT_FALSE(rig.watch.preview->complete);
  EXPECT_EQ(rig.watch.preview->problem, "the recorder stopped sending");
}

TEST(ScenarioPreview, AStopByTheUserEndsWithTheNextBlockAndNothingStartsBesideADownload) {
  PreviewRig rig;
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.ops->preview().start(1, 8));
  EXPECT_FALSE(rig.ops->preview().start(0, 8));  // one at a time
  rig.ops->list().setSelected(0, true);
  EXPECT_FALSE(rig.ops->download().start(operations::DownloadOptions::fromSettings(rig.settings)));
  ASSERT_TRUE(rig.run([&] { return rig.ops->preview().pagesDone() >= 16; }, 60s));
  rig.ops->preview().requestStop();
  ASSERT_TRUE(rig.run([&] { return rig.watch.preview.has_value(); }));
  EXPECT_FALSE(rig.watch.preview->complete);
  EXPECT_LT(rig.watch.preview->tables.count(), 300u);
  EXPECT_EQ(rig.download->stats().cancels, 1u);
  EXPECT_FALSE(rig.ops->preview().start(7, 8));  // no such row
}
