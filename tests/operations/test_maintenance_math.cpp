// The maintenance and level preview's pure parts: the flash check's progress in both reply shapes,
// the bad-block share, the device information, the 8-bit widening and the level statistics.
#include <gtest/gtest.h>

#include <array>

#include "TestSupport.h"
#include "operations/LevelPreview.h"
#include "operations/LevelTables.h"
#include "operations/MaintenanceMath.h"
#include "recording/RecordingWriter.h"
#include "session/Replies.h"

using namespace recdesk;
using namespace recdesk::operations;

TEST(CheckProgress, ShortShapeTakesThePowerOfTwoAtOrAboveTheFirstAmount) {
  CheckTracker t;
  t.start(0);
  CheckProgress p = t.position("$R5,MSG,CHK,POS,3000", 0);
  EXPECT_EQ(p.total, 4096u);
  EXPECT_EQ(p.pass, 1);
  EXPECT_EQ(p.passes, 1);
  EXPECT_EQ(p.position, 1096u);
  // 10 s for 1096 blocks: 10000 / 1096 * 3000 ms left.
  p = t.position("$R5,MSG,CHK,POS,2000", 10000);
  EXPECT_EQ(p.total, 4096u);  // kept from the first line
  EXPECT_EQ(p.position, 2096u);
  ASSERT_TRUE(p.estimate.has_value());
  EXPECT_NEAR(*p.estimate, 10000.0 / 2096.0 * 2000.0 / 36000.0, 1e-9);
  EXPECT_NEAR(*p.secondsLeft, 10000.0 / 2096.0 * 2000.0 / 1000.0, 1e-9);

  // An amount beyond 16 bits keeps its bar (a 16-bit total would be 0).
  t.start(0);
  EXPECT_EQ(t.position("$R5,MSG,CHK,POS,40000", 0).total, 65536u);
  // An amount that grows past the total never gives a negative position; nothing done, no estimate.
  t.start(0);
  t.position("$R5,MSG,CHK,POS,100", 0);
  p = t.position("$R5,MSG,CHK,POS,500", 5000);
  EXPECT_EQ(p.position, 0u);
  EXPECT_FALSE(p.estimate.has_value());
  EXPECT_EQ(powerOfTwoAtLeast(0), 1u);
  EXPECT_EQ(powerOfTwoAtLeast(4096), 4096u);
  EXPECT_EQ(powerOfTwoAtLeast(0xFFFFFFFFu), 0x80000000u);
}

TEST(CheckProgress, LongShapeRestartsTheClockWithEachPass) {
  CheckTracker t;
  t.start(0);
  CheckProgress p = t.position("$R5,MSG,CHK,POS,1,2,0,8192", 3000);
  EXPECT_EQ(p.pass, 1);
  EXPECT_EQ(p.passes, 2);
  EXPECT_EQ(p.total, 8192u);
  EXPECT_FALSE(p.estimate.has_value());
  p = t.position("$R5,MSG,CHK,POS,1,2,2048,8192", 7000);  // 4 s since the pass began
  EXPECT_EQ(p.position, 2048u);
  EXPECT_NEAR(*p.secondsLeft, 4.0 / 2048.0 * 6144.0, 1e-9);
  p = t.position("$R5,MSG,CHK,POS,2,2,1024,8192", 20000);
  EXPECT_EQ(p.pass, 2);
  EXPECT_EQ(p.position, 1024u);
  EXPECT_FALSE(p.estimate.has_value());  // a new pass: its clock starts now
  p = t.position("$R5,MSG,CHK,POS,2,2,2048,8192", 22000);
  EXPECT_NEAR(*p.secondsLeft, 2.0 / 2048.0 * 6144.0, 1e-9);
  // A position beyond the total and a line with a missing total are held inside the bar.
  p = t.position("$R5,MSG,CHK,POS,2,2,99999,8192", 23000);
  EXPECT_EQ(p.position, 8192u);
  t.start(0);
  p = t.position("$R5,MSG,CHK,POS,1,1,50", 10);
  EXPECT_EQ(p.total, 0u);
  EXPECT_EQ(p.position, 0u);
}

TEST(MaintenanceMath, BadBlockShareDeviceInformationAndLedMode) {
  test::loadEnglish();
  const session::FlashInfo flash =
      session::parseFlashReply("$R5,ACK,FLASH,BANK 1,DC,EC,BANK 2,DC,EC,BANK 3,00,00,BANK 4,00,00");
  EXPECT_EQ(flash.sizeMb, 1024u);
  const BadBlockScanResult scan = readBadBlockScanEnd("$R5,MSG,BAD,END,41", flash.totalBlocks);
  ASSERT_TRUE(scan.percent.has_value());
  EXPECT_NEAR(*scan.percent, 0.50, 0.001);
  EXPECT_NE(scan.text.find("0.50%"), std::string::npos);
  EXPECT_FALSE(readBadBlockScanEnd("$R5,MSG,BAD,END,41", 0).percent.has_value());

  const DeviceInformation d = deviceInformation("R5 1.2.0f,HW 3,2006-05-12");
  EXPECT_EQ(d.firmware, "R5 1.2.0f");
  EXPECT_EQ(d.hardware, "HW 3");
  EXPECT_EQ(d.date, "2006-05-12");
  EXPECT_EQ(d.text, "    Firmware: R5 1.2.0f \r\n\r\nHardware: HW 3, 2006-05-12");
  EXPECT_EQ(deviceInformation("R5\x1b[2J").firmware, "R5\\x1b[2J");  // device text shown escaped

  RecordingTypeChoice type{"long speech, quiet", 16000, 4, 2, 3};
  EXPECT_EQ(recordingTypeLine(false, type), "$R5,TYP,16000,4,2,OFF,3\r\n");
  EXPECT_EQ(recordingTypeLine(true, type), "$R5,TYP,LONG_SPEECH__QUIET\r\n");

  EXPECT_EQ(ledModeOfReply("$R5,ACK,LED,2"), 2);
  EXPECT_FALSE(ledModeOfReply("$R5,ACK,LED,9").has_value());
  EXPECT_FALSE(ledModeOfReply("$R5,ACK,LED").has_value());
}

TEST(LevelTables, EightBitSamplesAreWidenedAndEachPageGivesItsExtremes) {
  static_assert(widen8(128) == 0);
  static_assert(widen8(0) == -32640);
  static_assert(widen8(255) == 32385);

  // A page of plain 8-bit samples (encoding 5 at 8 bits): silence with one low and one high sample.
  sim::RecordingFormat format;
  format.bits = 8;
  format.encoding = audio::kEncodingPrediction8;
  std::array<std::uint8_t, 512> plain;
  plain.fill(128);
  plain[10] = 0;
  plain[300] = 255;
  std::array<std::uint8_t, kPageSize> page{};
  sim::buildPage(plain.data(), sim::trailerFor(format, 0), page.data());
  const PageLevels levels = pageLevels(page.data());
  EXPECT_EQ(levels.channels, 1);
  EXPECT_EQ(levels.low[0], -32640);
  EXPECT_EQ(levels.high[0], 32385);

  // A page that decodes to nothing gives 0 and 0, not the search's starting values.
  std::array<std::uint8_t, kPageSize> junk{};
  junk[524] = 0x1C;  // bits index 7: undefined
  const PageLevels none = pageLevels(junk.data());
  EXPECT_EQ(none.low[0], 0);
  EXPECT_EQ(none.high[0], 0);
}

TEST(LevelTables, StatisticsLeaveTheFirstPageOutAndAverageOverThePagesSummed) {
  LevelTables t;
  t.clear(2);
  EXPECT_EQ(levelStatistics(t).mean[0], 0);
  t.add(PageLevels{2, {-30000, -100}, {30000, 100}});  // a click at the start: left out
  EXPECT_EQ(levelStatistics(t).lowest[0], 0);          // fewer than 2 entries: all 0
  t.add(PageLevels{2, {-1000, -200}, {3000, 400}});
  t.add(PageLevels{2, {-2000, -300}, {2000, 100}});
  const LevelStatistics s = levelStatistics(t);
  EXPECT_EQ(s.lowest[0], -2000);
  EXPECT_EQ(s.highest[0], 3000);
  EXPECT_EQ(s.mean[0], 500);   // ((1000) + (0)) / 2
  EXPECT_EQ(s.lowest[1], -300);
  EXPECT_EQ(s.highest[1], 400);
  EXPECT_EQ(s.mean[1], 0);     // (100 + -100) / 2

  // Mono fills channel 2 with nothing; the tables hold at most 300 pages.
  LevelTables mono;
  mono.clear(1);
  for (int i = 0; i < 305; ++i) mono.add(PageLevels{2, {-5, -7}, {5, 7}});
  EXPECT_EQ(mono.count(), LevelTables::kMaxPages);
  EXPECT_EQ(mono.high[1][0], 0);
  EXPECT_EQ(pagesToSample(120), 120u);
  EXPECT_EQ(pagesToSample(5000), 300u);
  EXPECT_EQ(sampleRequest(7, 300, 8), "$R5,SMP,7,300,8\r\n");
}
