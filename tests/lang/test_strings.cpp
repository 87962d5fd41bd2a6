#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "TestSupport.h"
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

TEST(FormatText, ReadsTheRecorderFormatsAndBoundsWidths) {
  // The I64/I32 length modifiers of the recorder's line and file formats.
  EXPECT_EQ(formatText("$R5,DNL,%lu,%I64d,%I64d,%u\r\n", {7UL, 0LL, 999LL, 8u}), "$R5,DNL,7,0,999,8\r\n");
  EXPECT_EQ(formatText("%I64d:%02ld:%02ld", {1LL, 5L, 9L}), "1:05:09");
  EXPECT_EQ(formatText("%I32u", {5u}), "5");
  // A width or precision from a text never makes a huge allocation.
  EXPECT_EQ(formatText("%999999999d", {1}).size(), 1024u);
  EXPECT_EQ(formatText("%.99999999999f", {1.0}).size(), 1026u);
  EXPECT_EQ(formatText("%-----5d|", {1}), "1    |");
  // Conversions that would read or write through pointers stay text.
  EXPECT_EQ(formatText("a%nb%*dc", {1, 2}), "a%nb%*dc");
}

// Whole numbers and plain texts are written without snprintf: they come out as snprintf writes them.
TEST(FormatText, PlainNumbersAndTextsAsSnprintfWritesThem) {
  const long long signedValues[] = {0, 7, -7, 42, -42, 99999, -100000, LLONG_MAX, LLONG_MIN};
  const unsigned long long unsignedValues[] = {0, 7, 65535, 4294967296ULL, ULLONG_MAX};
  for (const std::string flags : {"", "0", "00"}) {
    for (const std::string width : {"", "1", "2", "5", "12", "25"}) {
      const std::string placeholder = "%" + flags + width;
      char expected[64];
      for (const long long v : signedValues) {
        std::snprintf(expected, sizeof expected, (placeholder + "lld").c_str(), v);
        EXPECT_EQ(formatText("<" + placeholder + "d>", {v}), "<" + std::string(expected) + ">") << placeholder << " " << v;
        EXPECT_EQ(formatText(placeholder + "ld", {static_cast<long>(v)}), expected) << placeholder << " " << v;
      }
      for (const unsigned long long v : unsignedValues) {
        std::snprintf(expected, sizeof expected, (placeholder + "llu").c_str(), v);
        EXPECT_EQ(formatText(placeholder + "u", {v}), expected) << placeholder << " " << v;
      }
    }
  }
  // A number given as text or as a fraction, a text given as a number, a text holding a NUL byte.
  EXPECT_EQ(formatText("%05u|%3d|%s|%s", {"12", 2.9, -3, 1.5}), "00012|  2|-3|1.5");
  EXPECT_EQ(formatText("[%s]", {std::string("ab\0cd", 5)}), "[ab]");
  EXPECT_EQ(formatText("%-3d|%+d|% d|%.3d|%5s|", {1, 2, 3, 4, "ab"}), "1  |+2| 3|004|   ab|");
}

TEST(Strings, ByteOrderMarkAndRepeatedNumbers) {
  Strings s;
  std::vector<std::string> problems;
  s.loadText("\xEF\xBB\xBF" "146=RecDesk\n147=a.ini\n146=Second\n", &problems);
  EXPECT_EQ(s.text(146), "Second");
  EXPECT_EQ(s.text(147), "a.ini");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind("line 3:", 0), 0u) << problems[0];
  EXPECT_NE(problems[0].find("146"), std::string::npos);
}

TEST(Strings, RefusesOversizedAndMissingFilesKeepingWhatWasLoaded) {
  recdesk::test::TempDir dir;
  Strings s;
  s.set(146, "RecDesk");
  recdesk::test::writeFile(dir / "huge.lang", std::string(Strings::kMaxFileSize + 1, '#'));
  std::vector<std::string> problems;
  EXPECT_FALSE(s.loadFile(dir / "huge.lang", &problems));
  EXPECT_FALSE(s.loadFile(dir / "missing.lang"));
  EXPECT_EQ(s.text(146), "RecDesk");
  EXPECT_EQ(problems.size(), 1u);
}

TEST(Strings, NamedTextsAreTheTextsOfTheirNumbers) {
  using recdesk::lang::TextId;
  Strings s;
  s.set(146, "RecDesk");
  s.set(57971, "Recording time left: %s");
  EXPECT_EQ(recdesk::lang::number(TextId::AppName), 146);
  EXPECT_TRUE(s.has(TextId::AppName));
  EXPECT_FALSE(s.has(TextId::NotConnected));
  EXPECT_EQ(s.text(TextId::AppName), "RecDesk");
  EXPECT_EQ(s.text(TextId::NotConnected), "");
  EXPECT_EQ(s.format(TextId::RecordingTimeLeft, {"1:02:03"}), "Recording time left: 1:02:03");

  // The shorthands read the process-wide library.
  const std::string saved = recdesk::lang::strings().text(146);
  recdesk::lang::strings().set(146, "Named");
  EXPECT_EQ(recdesk::lang::text(TextId::AppName), "Named");
  EXPECT_TRUE(recdesk::lang::has(TextId::AppName));
  recdesk::lang::strings().set(146, saved);
}
