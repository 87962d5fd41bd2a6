// The timer programme's pure parts: the pending total with its remainder rule, the span texts, the
// entry lines the recorder sends and is sent, and the programme text a user writes.
#include <gtest/gtest.h>

#include "operations/RecorderClock.h"
#include "operations/TimerEntries.h"
#include "operations/TimerProgrammeFile.h"

using namespace recdesk::operations;
using recdesk::session::DateTime;

namespace {
TimerRows rowsOf(std::initializer_list<TimerEntry> entries) {
  TimerRows rows;
  std::size_t i = 0;
  for (const auto& e : entries) rows[i++] = e;
  return rows;
}
}  // namespace

TEST(TimerTotals, PendingEntriesCountWhatIsLeftOfThemAndPastOnesNothing) {
  const DateTime now{2026, 3, 31, 23, 40, 0};
  const TimerRows rows = rowsOf({
      {{2026, 3, 31, 23, 30, 0}, 3600},   // started 10 minutes ago, 1 hour: 50 minutes left (over midnight and a month)
      {{2026, 3, 31, 22, 0, 0}, 3600},    // ended 40 minutes ago
      {{2026, 4, 1, 8, 0, 0}, 0},         // no duration
      {{2026, 4, 1, 8, 0, 0}, 90},        // in the future: all of it
      {{2026, 3, 31, 22, 40, 0}, 3600},   // ends exactly now: nothing left
  });
  const TimerTotals t = timerTotals(rows, now);
  EXPECT_EQ(t.pendingSeconds, 50u * 60u + 90u);
  EXPECT_TRUE(t.pending[0]);
  EXPECT_FALSE(t.pending[1]);
  EXPECT_FALSE(t.pending[2]);
  EXPECT_TRUE(t.pending[3]);
  EXPECT_FALSE(t.pending[4]);
  EXPECT_FALSE(t.pending[5]);  // no row
}

TEST(TimerTotals, FreeTimeAfterTheProgrammeIsShownNegativeWithAMinus) {
  EXPECT_EQ(timerSpanText(freeAfterProgramme(3600, 3601)), "-00:00:01");
  EXPECT_EQ(timerSpanText(freeAfterProgramme(3601, 3601)), "00:00:00");
  EXPECT_EQ(timerSpanText(100 * 3600 + 61), "100:01:01");  // hours beyond a day
  EXPECT_EQ(timerSpanText(-(26 * 3600 + 5)), "-26:00:05");
}

TEST(TimerEntryLines, EntriesAreReadByIndexAndAnIndexOutsideTheRowsIsRefused) {
  const auto e = parseTimerEntry("$R5,MSG,TMR,PGM,18,20260401,080910,5400");
  ASSERT_TRUE(e.index.has_value());
  EXPECT_EQ(*e.index, 18u);
  EXPECT_EQ(e.entry.start, (DateTime{2026, 4, 1, 8, 9, 10}));
  EXPECT_EQ(e.entry.durationSeconds, 5400u);
  for (const char* line : {"$R5,MSG,TMR,PGM,19,20260401,080910,60", "$R5,MSG,TMR,PGM,4294967296,20260401,080910,60",
                           "$R5,MSG,TMR,PGM,-1,20260401,080910,60", "$R5,MSG,TMR,PGM,x3,20260401,080910,60",
                           "$R5,MSG,TMR,PGM,,20260401,080910,60", "$R5,MSG,TMR,PGM"}) {
    const auto bad = parseTimerEntry(line);
    EXPECT_FALSE(bad.index.has_value()) << line;
  }
  EXPECT_EQ(parseTimerEntry("$R5,MSG,TMR,PGM,19,20260401,080910,60").badIndex, "19");
  // Damaged fields read as far as their digits go; a garbled duration never wraps around.
  const auto damaged = parseTimerEntry("$R5,ACK,TMR,PGM,2,2026x401,08,99999999999");
  ASSERT_TRUE(damaged.index.has_value());
  EXPECT_EQ(damaged.entry.start, (DateTime{2026, 0, 1, 8, 0, 0}));
  EXPECT_EQ(damaged.entry.durationSeconds, 0xFFFFFFFFu);
}

TEST(TimerEntryLines, WriteClearAndSetLinesHaveTheRecordersShape) {
  EXPECT_EQ(timerEntryLine(3, {{2026, 4, 1, 8, 9, 10}, 5400}), "$R5,TMR,PGM,3,20260401,080910,5400\r\n");
  EXPECT_EQ(timerClearLine(0), "$R5,TMR,PGM,0,20000101,000000,0\r\n");
  EXPECT_EQ(RecorderClock::setLine({2006, 3, 1, 14, 5, 9}), "$R5,TIME,20060301,140509\r\n");
}

TEST(TimerProgrammeText, EntriesCommentsAndWindowsLineEnds) {
  const auto p = parseTimerProgrammeText(
      "# tomorrow's meetings\r\n2030-05-01 10:00:00 3600\r\n\r\n  2030-05-01\t14:30:00   349199  \n2030-05-02 09:00:00 1");
  ASSERT_TRUE(p.ok()) << p.errors.front();
  ASSERT_EQ(p.entries.size(), 3u);
  EXPECT_EQ(p.entries[1].start, (DateTime{2030, 5, 1, 14, 30, 0}));
  EXPECT_EQ(p.entries[1].durationSeconds, 349199u);
  EXPECT_EQ(p.entries[2].durationSeconds, 1u);
}

TEST(TimerProgrammeText, EveryBadLineIsNamedAndNothingIsTaken) {
  const auto p = parseTimerProgrammeText(
      "2030-05-01 10:00:00 3600\n"
      "2030-02-30 10:00:00 60\n"      // 2: no such day
      "2030-05-01 10:00 60\n"         // 3: no seconds
      "2030-05-01 10:00:00 0\n"       // 4: no duration
      "2030-05-01 10:00:00 349200\n"  // 5: longer than the window shows
      "2030-05-01 10:00:00 60 x\n"    // 6: trailing text
      "1999-12-31 23:59:59 60\n"      // 7: before the recorder's range
      "\x01\xff\n");                  // 8: binary
  EXPECT_TRUE(p.entries.empty());
  ASSERT_EQ(p.errors.size(), 7u);
  for (std::size_t i = 0; i < p.errors.size(); ++i)
    EXPECT_EQ(p.errors[i].rfind("line " + std::to_string(i + 2) + ": ", 0), 0u) << p.errors[i];

  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "2030-05-01 10:00:00 60\n";
  const auto tooMany = parseTimerProgrammeText(twenty);
  ASSERT_EQ(tooMany.errors.size(), 1u);
  EXPECT_EQ(tooMany.errors[0].rfind("line 20: ", 0), 0u);
  EXPECT_FALSE(parseTimerProgrammeText(std::string(kMaxTimerProgrammeText + 1, '#')).ok());
}
