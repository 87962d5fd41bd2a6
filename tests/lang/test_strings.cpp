#include <gtest/gtest.h>

#include "lang/Strings.h"

using recdesk::lang::formatText;
using recdesk::lang::Strings;

TEST(FormatText, FillsPrintfPlaceholdersSafely) {
  EXPECT_EQ(formatText("%s.%02u.wav", {"R5-12", 3u}), "R5-12.03.wav");
  EXPECT_EQ(formatText("%d.%d.%d, build %d", {2, 1, 4, 17}), "2.1.4, build 17");
  EXPECT_EQ(formatText("%ld%% of %lu", {50L, 200UL}), "50% of 200");
  EXPECT_EQ(formatText("%.2f MB/min", {3.14159}), "3.14 MB/min");
  // Missing arguments and wrong kinds never crash.
  EXPECT_EQ(formatText("%s and %d", {}), " and 0");
  EXPECT_EQ(formatText("%d", {"42"}), "42");
  EXPECT_EQ(formatText("100%", {}), "100%");
  EXPECT_EQ(formatText("%s", {std::string(300, 'x')}).size(), 300u);
}

TEST(Strings, LoadsEntriesEscapesAndReportsBadLines) {
  Strings s;
  std::vector<std::string> problems;
  s.loadText("# comment\n146=RecDesk\n57000=a\\tb\\nc\\\\\ngarbage line\n 147 = x.ini\r\n99999999=big\n130=last", &problems);
  EXPECT_EQ(s.text(146), "RecDesk");
  EXPECT_EQ(s.text(57000), "a\tb\nc\\");
  EXPECT_EQ(s.text(147), " x.ini");
  EXPECT_EQ(s.text(130), "last");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].rfind("line 4:", 0), 0u);
  EXPECT_EQ(problems[1].rfind("line 6:", 0), 0u);
  std::string out = "stale";
  EXPECT_FALSE(s.load(1, out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(s.load(146, out));
}
