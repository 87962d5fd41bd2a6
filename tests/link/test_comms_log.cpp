// The communications log: the shown text's editing rules and the daily files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "TestSupport.h"
#include "lang/Strings.h"
#include "link/CommsLog.h"

namespace recdesk {
namespace {

using link::CommsLog;

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

class CommsLogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  CommsLog log{dir.path()};
  std::time_t now = localTime(2024, 3, 9, 14, 5, 7);

  void SetUp() override {
    test::loadEnglish();
    log.setClock([this] { return now; });
  }
  std::filesystem::path dayFile(const char* date) const {
    return dir / (lang::text(146) + "." + date + ".log");
  }
};

TEST_F(CommsLogTest, LeadingBackspacesEraseShownTextAndTheFileGetsEachAppendStamped) {
  log.append("abc");
  log.append("\bx");
  EXPECT_EQ(log.shownText(), "abx");
  EXPECT_EQ(test::readFile(dayFile("20240309")), "[14:05:07] - abc[14:05:07] - x");
  EXPECT_EQ(log.currentFile(), dayFile("20240309"));

  // Inner backspaces remove the character before them, left to right; erasing never goes past the
  // start of the shown text.
  log.append("12\b3");
  EXPECT_EQ(log.shownText(), "abx13");
  log.append("q\b\b");
  EXPECT_EQ(log.shownText(), "abx1");
  log.append(std::string(10, '\b') + "new");
  EXPECT_EQ(log.shownText(), "new");
}

TEST_F(CommsLogTest, LineEndsBecomeCarriageReturnLineFeed) {
  log.append("\r");
  EXPECT_EQ(log.shownText(), "\r\n");
  log.append("one\ntwo");  // a lone "\n" is dropped
  EXPECT_EQ(log.shownText(), "\r\nonetwo");
  log.append(">> $R5,PONG\r\n");
  EXPECT_EQ(log.shownText(), "\r\nonetwo>> $R5,PONG\r\n");
  EXPECT_EQ(test::readFile(dayFile("20240309")),
            "[14:05:07] - \r\n[14:05:07] - onetwo[14:05:07] - >> $R5,PONG\r\n");
}

TEST_F(CommsLogTest, ALongShownTextLosesItsFirst4097CharactersBeforeTheNextAppend) {
  std::string shown(20000, '.');
  for (std::size_t i = 0; i < shown.size(); i += 100) shown[i] = static_cast<char>('A' + (i / 100) % 26);
  log.append(shown);
  EXPECT_EQ(log.shownText(), shown);
  log.append("Z");
  EXPECT_EQ(log.shownText(), shown.substr(4097) + "Z");

  CommsLog small(dir.path());
  small.setFileEnabled(false);
  small.append(std::string(16383, 'x'));
  small.append("y");  // below the threshold before this append: nothing goes
  EXPECT_EQ(small.shownText().size(), 16384u);
  small.append("z");
  EXPECT_EQ(small.shownText().size(), 16384u - 4097u + 1u);
}

TEST_F(CommsLogTest, AMidnightBetweenAppendsStartsTheNextDaysFile) {
  now = localTime(2024, 12, 31, 23, 59, 59);
  log.append("last of the year\r\n");
  now = localTime(2025, 1, 1, 0, 0, 1);
  log.append("first of the next\r\n");
  EXPECT_EQ(test::readFile(dayFile("20241231")), "[23:59:59] - last of the year\r\n");
  EXPECT_EQ(test::readFile(dayFile("20250101")), "[00:00:01] - first of the next\r\n");
}

TEST_F(CommsLogTest, AFixedLogFileIsAppendedToAndAnUnwritableFileIsSkippedSilently) {
  const auto file = dir / "session.log";
  test::writeFile(file, "earlier\n");
  log.setLogFile(file);
  std::string echoed;
  log.setListener(
      [&](const std::string& text, std::size_t erased) { echoed += text + "|" + std::to_string(erased); });
  log.append("<< $R5,LST\r\n");
  EXPECT_EQ(test::readFile(file), "earlier\n[14:05:07] - << $R5,LST\r\n");
  EXPECT_EQ(echoed, "<< $R5,LST\r\n|0");
  EXPECT_FALSE(std::filesystem::exists(dayFile("20240309")));

  // The log folder is a file: nothing can be written, the text is still shown.
  test::writeFile(dir / "notafolder", "");
  CommsLog blocked(dir / "notafolder" / "logs");
  blocked.append(" still shown\r\n");
  EXPECT_EQ(blocked.shownText(), " still shown\r\n");
}

TEST(CommsLogFolder, FollowsTheStateFolderOfTheUser) {
  const char* oldState = std::getenv("XDG_STATE_HOME");
  const std::string savedState = oldState ? oldState : "";
  setenv("XDG_STATE_HOME", "/tmp/state-test", 1);
  EXPECT_EQ(CommsLog::defaultFolder(), std::filesystem::path("/tmp/state-test/recdesk"));
  setenv("XDG_STATE_HOME", "relative/ignored", 1);
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(CommsLog::defaultFolder(), std::filesystem::path(home) / ".local/state/recdesk");
  }
  if (oldState)
    setenv("XDG_STATE_HOME", savedState.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace recdesk
