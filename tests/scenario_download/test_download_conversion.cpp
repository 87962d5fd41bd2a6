// The download's automatic conversion when the front end converts elsewhere (the desktop program
// on a worker thread): the download holds its place between two recordings while the conversion
// runs, the session keeps pinging the recorder, and the next recording follows the completion.
#include <gtest/gtest.h>

#include "DownloadRig.h"

namespace recdesk::test {
namespace {

struct PendingConversion {
  operations::RecordingFiles files;
  operations::ConversionDone done;
};

struct ConversionRig : Rig {
  ConversionRig() : Rig(1000, 2) {
    settings.autoDecrypt = true;
    ops->download().convert = [this](const operations::RecordingFiles& files, operations::ConversionDone done) {
      pending.push_back({files, std::move(done)});
    };
  }
  // Starts the download of every recording and runs until the first conversion is asked for.
  bool startAndWaitForConversion() {
    if (!connect()) return false;
    auto& list = ops->list();
    for (std::size_t row = 0; row < list.size(); ++row) list.setSelected(row, true);
    if (!ops->download().start(operations::DownloadOptions::fromSettings(settings))) return false;
    return loop.runUntil([this] { return !pending.empty(); }, 600s);
  }
  std::vector<PendingConversion> pending;
};

TEST(DownloadConversion, TheDownloadWaitsForTheConversionWithPingsAndGoesOnWhenItCompletes) {
  ConversionRig rig;
  ASSERT_TRUE(rig.startAndWaitForConversion());
  auto& download = rig.ops->download();
  const auto& second = rig.device->recordings()[1];
  ASSERT_EQ(rig.pending.size(), 1u);
  EXPECT_EQ(rig.pending[0].files.im2, rig.im2(rig.device->recordings()[0].format.fileNumber));
  EXPECT_TRUE(download.converting());
  EXPECT_TRUE(download.running());

  // Several seconds of conversion: only keep-alive pings go out, and the recorder answers them.
  rig.wire->clearTrace();
  rig.loop.runFor(5s);
  const auto waiting = rig.linesSent();
  ASSERT_GE(waiting.size(), 4u);
  for (const auto& l : waiting) EXPECT_EQ(l, "$R5,PING\r\n");
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_TRUE(download.converting());
  EXPECT_FALSE(fs::exists(rig.im2(second.format.fileNumber)));  // the next recording waits

  operations::ConversionOutcome converted;
  converted.ok = true;
  converted.files = {rig.dir / "wav" / "one.00.wav"};
  rig.pending[0].done(converted);
  EXPECT_FALSE(download.converting());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.pending.size() == 2; }, 600s));
  EXPECT_EQ(test::readFile(rig.im2(second.format.fileNumber)), rig.expectedIm2(1));
  rig.pending[1].done(operations::ConversionOutcome{false, {}, "cancelled"});
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 60s));

  ASSERT_EQ(download.outcomes().size(), 2u);
  ASSERT_TRUE(download.outcomes()[0].conversion.has_value());
  EXPECT_TRUE(download.outcomes()[0].conversion->ok);
  EXPECT_EQ(download.outcomes()[0].conversion->files, converted.files);
  ASSERT_TRUE(download.outcomes()[1].conversion.has_value());
  EXPECT_EQ(download.outcomes()[1].conversion->message, "cancelled");
  // The keep-alive goes on after the download as before it.
  rig.wire->clearTrace();
  rig.loop.runFor(3s);
  EXPECT_FALSE(rig.linesSent().empty());
}

TEST(DownloadConversion, ACompletionThatComesAfterTheLinkWasLostIsDropped) {
  ConversionRig rig;
  int finished = 0;
  rig.ops->download().onFinished = [&] { ++finished; };
  ASSERT_TRUE(rig.startAndWaitForConversion());
  auto& download = rig.ops->download();

  rig.wire->unplug();  // the next ping cannot go out
  ASSERT_TRUE(rig.loop.runUntil([&] { return !download.running(); }, 30s));
  EXPECT_FALSE(download.converting());
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(download.outcomes().size(), 2u);
  EXPECT_TRUE(download.outcomes()[0].completed);
  EXPECT_FALSE(download.outcomes()[1].reached);
  const std::string log = rig.log;

  // The conversion ends long after: nothing moves, nothing is recorded, no second end.
  rig.pending[0].done(operations::ConversionOutcome{true, {}, ""});
  rig.loop.runFor(5s);
  EXPECT_FALSE(download.running());
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(download.outcomes()[0].conversion.has_value());
  EXPECT_EQ(rig.pending.size(), 1u);
  EXPECT_FALSE(fs::exists(rig.im2(rig.device->recordings()[1].format.fileNumber)));
}

TEST(DownloadConversion, AConversionThatCompletesAtOnceGoesStraightOn) {
  ConversionRig rig;
  rig.ops->download().convert = [&](const operations::RecordingFiles& files, operations::ConversionDone done) {
    rig.pending.push_back({files, {}});
    done(operations::ConversionOutcome{true, {}, ""});
  };
  ASSERT_TRUE(rig.connect());
  auto& list = rig.ops->list();
  for (std::size_t row = 0; row < list.size(); ++row) list.setSelected(row, true);
  ASSERT_TRUE(rig.downloadSelected());
  EXPECT_EQ(rig.pending.size(), 2u);
  for (const auto& o : rig.ops->download().outcomes()) {
    EXPECT_TRUE(o.completed);
    ASSERT_TRUE(o.conversion.has_value());
    EXPECT_TRUE(o.conversion->ok);
  }
}

}  // namespace
}  // namespace recdesk::test
