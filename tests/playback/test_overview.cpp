// The level overview: the summary of the points, 8-bit widening, and points spread over IM2
// recordings and WAV files of every size.
#include <gtest/gtest.h>

#include <string>

#include "PlaybackTestSupport.h"
#include "TestSupport.h"
#include "audio/WaveFile.h"
#include "playback/LevelOverview.h"

namespace recdesk::playback {
namespace {

audio::Peaks peaks(std::int32_t lo, std::int32_t hi, std::int32_t lo2 = 0, std::int32_t hi2 = 0) {
  audio::Peaks p;
  p.min[0] = lo;
  p.max[0] = hi;
  p.min[1] = lo2;
  p.max[1] = hi2;
  return p;
}

TEST(Overview, SummaryLeavesOutTheFirstPointAndCentresOverAllPoints) {
  // Point 0 is louder than everything else and does not count.
  const LevelOverview o =
      summarise({peaks(-30000, 30000), peaks(-100, 301, 5, 7), peaks(-400, 200, 1, 3)}, 2);
  EXPECT_EQ(o.min[0], -400);
  EXPECT_EQ(o.max[0], 301);
  // Midpoints 100 and -100 over 3 points; channel 2: (6 + 2) / 3 = 2 (toward zero).
  EXPECT_EQ(o.centre[0], 0);
  EXPECT_EQ(o.centre[1], 2);
  const LevelOverview negative = summarise({peaks(0, 0), peaks(-9, -2), peaks(-9, -4)}, 1);
  EXPECT_EQ(negative.centre[0], -3);  // (-5 + -6) / 3 = -3.67 → -3
  const LevelOverview single = summarise({peaks(-5, 5)}, 1);
  EXPECT_EQ(single.centre[0], 0);
  EXPECT_EQ(single.points.size(), 1u);
}

TEST(Overview, EightBitSamplesAreWidened) {
  EXPECT_EQ(widen8(0), -32640);
  EXPECT_EQ(widen8(128), 0);
  EXPECT_EQ(widen8(255), 32385);
  const std::uint8_t stereo[] = {0, 128, 255, 130};
  const audio::Peaks p = scanPcm(stereo, sizeof stereo, 8, 2);
  EXPECT_EQ(p.min[0], -32640);
  EXPECT_EQ(p.max[0], 32385);
  EXPECT_EQ(p.min[1], 0);
  EXPECT_EQ(p.max[1], 510);
}

TEST(Overview, Im2PointsTakeOnePageEachOverThePagesPresent) {
  test::TempDir dir;
  test::toneRecording(7).writeIm2(dir / "short.im2");
  EXPECT_EQ(im2Overview((dir / "short.im2").string()).points.size(), 7u);

  // A partial download of 450 pages: 300 points, the last from the last page present.
  const auto bytes = test::toneRecording(600).im2();
  test::writeFile(dir / "part.im2",
                  std::string(reinterpret_cast<const char*>(bytes.data()), 451 * kPageSize));
  const LevelOverview o = im2Overview((dir / "part.im2").string());
  ASSERT_EQ(o.points.size(), 300u);
  EXPECT_EQ(o.channels, 1);
  EXPECT_GT(o.max[0], 10000);  // a tone at 0.4 of full scale
  EXPECT_LT(o.min[0], -10000);
  EXPECT_LT(o.points.back().min[0], o.points.back().max[0]);  // a page that was read
  EXPECT_EQ(pointStart(299, 450, 300), 448u);
  EXPECT_EQ(im2Overview((dir / "missing.im2").string()).channels, 0);
}

TEST(Overview, WavPointsAreSpreadOverTheWholeFile) {
  // 8-bit stereo, 1000 frames rising from silence: channel 1 follows the frame number.
  test::TempDir dir;
  std::string data;
  for (int i = 0; i < 1000; ++i) {
    data += static_cast<char>(128 + i / 8);
    data += static_cast<char>(128);
  }
  audio::WaveFile w;
  audio::FileError e;
  ASSERT_TRUE(w.Open((dir / "r.wav").string(), audio::CFile64::kWrite, 0, audio::CFile64::kCreateAlways, &e));
  w.SetFormat(8000, 8, 2);
  w.WriteAndExtend(data.data(), data.size());
  w.Close();

  const LevelOverview o = wavOverview((dir / "r.wav").string());
  ASSERT_EQ(o.points.size(), 300u);
  ASSERT_EQ(o.channels, 2);
  // Point j reads 3 frames from frame j × 1000 / 300.
  EXPECT_EQ(o.points[0].max[0], widen8(128));
  EXPECT_EQ(o.points[299].min[0], widen8(static_cast<std::uint8_t>(128 + 996 / 8)));
  EXPECT_EQ(o.max[1], 0);
  EXPECT_EQ(o.min[1], 0);
  test::writeFile(dir / "bad.wav", "RIFF");
  EXPECT_EQ(wavOverview((dir / "bad.wav").string()).channels, 0);
}

}  // namespace
}  // namespace recdesk::playback
