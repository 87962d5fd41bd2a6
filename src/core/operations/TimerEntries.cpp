#include "operations/TimerEntries.h"

#include <chrono>
#include <cstdio>

#include "session/Protocol.h"

namespace recdesk::operations {

namespace {

// The decimal number at the start of `text`, `count` characters from `from`; 0 without digits.
int digitsAt(std::string_view text, std::size_t from, std::size_t count) {
  if (from >= text.size()) return 0;
  int value = 0;
  for (char c : text.substr(from, count)) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::uint32_t durationOf(std::string_view text) {
  const long long v = session::leadingNumber(text);
  if (v <= 0) return 0;
  return v > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

}  // namespace

ParsedTimerEntry parseTimerEntry(std::string_view line) {
  ParsedTimerEntry p;
  const std::string indexText = session::field(line, 4);
  const auto index = session::wholeNumber(indexText);
  if (index && *index < kTimerRows)
    p.index = static_cast<std::size_t>(*index);
  else
    p.badIndex = session::visibleText(indexText.substr(0, 32));
  const std::string date = session::field(line, 5);
  const std::string time = session::field(line, 6);
  p.entry.start.year = digitsAt(date, 0, 4);
  p.entry.start.month = digitsAt(date, 4, 2);
  p.entry.start.day = digitsAt(date, 6, 2);
  p.entry.start.hour = digitsAt(time, 0, 2);
  p.entry.start.minute = digitsAt(time, 2, 2);
  p.entry.start.second = digitsAt(time, 4, 2);
  p.entry.durationSeconds = durationOf(session::field(line, 7));
  return p;
}

std::string timerEntryLine(std::size_t index, const TimerEntry& e) {
  char line[96];
  const DateTime& s = e.start;
  std::snprintf(line, sizeof line, "$R5,TMR,PGM,%u,%04d%02d%02d,%02d%02d%02d,%lu\r\n", static_cast<unsigned>(index),
                s.year, s.month, s.day, s.hour, s.minute, s.second, static_cast<unsigned long>(e.durationSeconds));
  return line;
}

std::string timerClearLine(std::size_t index) {
  char line[64];
  std::snprintf(line, sizeof line, "$R5,TMR,PGM,%u,20000101,000000,0\r\n", static_cast<unsigned>(index));
  return line;
}

TimerEntry clearedTimerEntry() { return TimerEntry{DateTime{2000, 1, 1, 0, 0, 0}, 0}; }

std::int64_t civilSeconds(const DateTime& t) {
  using namespace std::chrono;
  // Day and time fields outside their ranges roll over, as in the recorder's own arithmetic.
  const unsigned m = static_cast<unsigned>(t.month < 1 ? 1 : t.month > 12 ? 12 : t.month);
  const sys_days first{year{t.year} / month{m} / 1};
  const std::int64_t days = first.time_since_epoch().count() + (t.day - 1);
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

DateTime runningClock(const DateTime& reading, std::time_t computerAtReading, std::time_t computerNow) {
  return audio::addSeconds(reading, static_cast<std::int64_t>(computerNow - computerAtReading));
}

TimerTotals timerTotals(const TimerRows& rows, const DateTime& now) {
  TimerTotals totals;
  const std::int64_t nowSeconds = civilSeconds(now);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i] || rows[i]->durationSeconds == 0) continue;
    const std::int64_t start = civilSeconds(rows[i]->start);
    const std::int64_t end = start + rows[i]->durationSeconds;
    if (end <= nowSeconds) continue;
    // An entry that has already started counts only what is left of it.
    totals.pendingSeconds += static_cast<std::uint64_t>(start < nowSeconds ? end - nowSeconds : end - start);
    totals.pending[i] = true;
  }
  return totals;
}

std::string timerSpanText(std::int64_t seconds) {
  const bool negative = seconds < 0;
  const std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%s%02lu:%02lu:%02lu", negative ? "-" : "", static_cast<unsigned long>(m / 3600),
                static_cast<unsigned long>(m / 60 % 60), static_cast<unsigned long>(m % 60));
  return text;
}

}  // namespace recdesk::operations
