// The transmitter form's rules: the frequency range (both ends included), the frequency shown,
// the firmware gate of the range query and the lines an apply queues.
#include <gtest/gtest.h>

#include "operations/Transmitter.h"

using namespace recdesk::operations;

TEST(TransmitterRules, TheDefaultRangeTakesBothEndsAndNothingBeyond) {
  for (const char* inside : {"150", "174", "150.0000", " 162.475 "}) {
    const auto mhz = frequencyMhz(inside);
    ASSERT_TRUE(mhz) << inside;
    EXPECT_TRUE(frequencyInRange(*mhz, kLowestFrequencyHz, kHighestFrequencyHz)) << inside;
  }
  for (const char* outside : {"149.9999", "174.0001", "0", "-162"}) {
    const auto mhz = frequencyMhz(outside);
    ASSERT_TRUE(mhz) << outside;
    EXPECT_FALSE(frequencyInRange(*mhz, kLowestFrequencyHz, kHighestFrequencyHz)) << outside;
  }
  for (const char* notNumber : {"", "abc", "162,475", "162.4x", "nan", "inf", "1e999"})
    EXPECT_FALSE(frequencyMhz(notNumber)) << notNumber;
  EXPECT_EQ(frequencyText(162475000), "162.4750");
}

TEST(TransmitterRules, TheRangeIsAskedFromVersionOneZeroOneBuildFortyFour) {
  EXPECT_FALSE(rangeQueryWanted("T7 1.01 B43"));
  EXPECT_TRUE(rangeQueryWanted("T7 1.01 B44"));
  EXPECT_TRUE(rangeQueryWanted("T7 1.02"));
  EXPECT_TRUE(rangeQueryWanted("T7 1.02 B1"));
  EXPECT_FALSE(rangeQueryWanted("T7 1.01"));
  EXPECT_FALSE(rangeQueryWanted("T7 1.00 B99"));
  EXPECT_TRUE(rangeQueryWanted("T7 1.04,TX 2,2006-09-01"));
  bool readable = true;
  EXPECT_FALSE(rangeQueryWanted("T7 beta", &readable));
  EXPECT_FALSE(readable);
  EXPECT_FALSE(rangeQueryWanted("", &readable));
  EXPECT_FALSE(readable);
}

TEST(TransmitterRules, ApplyQueuesPowerFrequencyAndTheScramblerWhenItIsThere) {
  TransmitterForm form;
  form.power = TransmitPower::Low;
  form.scrambler = Scrambler::Off;
  auto lines = applyLines(form, 162.475, true);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "$T7,TX,ON,LO\r\n");
  EXPECT_EQ(lines[1], "$T7,FRQ,162475000\r\n");
  EXPECT_EQ(lines[2], "$T7,SCR,OFF\r\n");
  form.power = TransmitPower::High;
  lines = applyLines(form, 150, false);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "$T7,TX,ON,HI\r\n");
  EXPECT_EQ(lines[1], "$T7,FRQ,150000000\r\n");
}
