// The demo recorder's recordings: short ones for the test rigs, a minute of varied sound in varied
// formats for people.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

#include "DemoRecorder.h"
#include "recording/RecordingWriter.h"

namespace recdesk::sim {
namespace {

double secondsOf(const Recording& r) {
  const PageEncoder encoder(r.format);
  return static_cast<double>(encoder.framesPerPage() * r.pageCount()) / r.format.sampleRate;
}

TEST(DemoRecordings, ShortOnesLastSecondsAndFullOnesAboutTheLengthAskedInVariedFormats) {
  DeviceConfig config;
  const auto shortOnes = makeDemoRecorder(config, 6);
  for (const auto& r : shortOnes->recordings()) {
    EXPECT_GE(secondsOf(r), 1.9);
    EXPECT_LE(secondsOf(r), 6.5);
  }

  const auto device = makeDemoRecorder(config, 5, DemoLength::fullOnes(20));
  std::set<std::tuple<std::uint32_t, int, int, int>> formats;
  std::uint16_t number = 0;
  for (const auto& r : device->recordings()) {
    EXPECT_GE(secondsOf(r), 17.5) << r.format.fileNumber;
    EXPECT_LE(secondsOf(r), 22.5) << r.format.fileNumber;
    EXPECT_GT(r.format.fileNumber, number);
    number = r.format.fileNumber;
    formats.insert({r.format.sampleRate, r.format.bits, r.format.channels, r.format.encoding});
    // Every page is whole: a correct check byte.
    for (std::size_t p = 0; p < r.pageCount(); ++p)
      ASSERT_EQ(r.page(p)[audio::kOffCheck], audio::pageCheckByte(r.page(p))) << r.format.fileNumber << " " << p;
  }
  EXPECT_EQ(formats.size(), 5u);  // no two alike
}

TEST(DemoRecordings, TheFrontEndsLengthComesFromTheEnvironment) {
  const char* kName = "RECDESK_DEMO_SECONDS";
  const auto lengthFor = [&](const char* value) {
    if (value) ::setenv(kName, value, 1); else ::unsetenv(kName);
    return demoLengthForPeople();
  };
  EXPECT_TRUE(lengthFor(nullptr).full);
  EXPECT_EQ(lengthFor(nullptr).seconds, 60);
  EXPECT_FALSE(lengthFor("0").full);
  EXPECT_FALSE(lengthFor("short").full);
  EXPECT_EQ(lengthFor("90").seconds, 90);
  EXPECT_TRUE(lengthFor("90").full);
  for (const char* wrong : {"", "-5", "ten", "12s", "601", "nan"}) {
    EXPECT_TRUE(lengthFor(wrong).full) << wrong;
    EXPECT_EQ(lengthFor(wrong).seconds, 60) << wrong;
  }
  ::unsetenv(kName);
}

}  // namespace
}  // namespace recdesk::sim
