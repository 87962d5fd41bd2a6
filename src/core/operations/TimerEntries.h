#pragma once
// The timer programme's pure parts: its entries as the recorder reports them, the lines that write
// and clear them, the pending total with its remainder rule, and the span texts of the programme
// window. No session, no user interface: everything here is a function of its arguments.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "session/Replies.h"

namespace recdesk::operations {

using session::DateTime;

// The recorder reports entry indices 0 to 18; row r of the programme window stands for index r - 1.
inline constexpr std::size_t kTimerRows = 19;
// The longest duration the programme window can show: 96 hours, 59 minutes and 59 seconds.
inline constexpr std::uint32_t kMaxTimerDuration = 96u * 3600u + 59u * 60u + 59u;

struct TimerEntry {
  DateTime start;
  std::uint32_t durationSeconds = 0;
  bool operator==(const TimerEntry&) const = default;
};

// The programme as far as the recorder reported it: a slot per index, empty when not reported.
using TimerRows = std::array<std::optional<TimerEntry>, kTimerRows>;

// "$R5,MSG,TMR,PGM,<index>,<YYYYMMDD>,<HHMMSS>,<seconds>" and the acknowledgement
// "$R5,ACK,TMR,PGM,…" with the same fields. The date, time and duration are read from their
// leading digits (none give 0). The index must be a whole number below kTimerRows: anything else
// is reported in `badIndex` (the text as it came) and the entry is not placed.
struct ParsedTimerEntry {
  std::optional<std::size_t> index;
  std::string badIndex;
  TimerEntry entry;
};
ParsedTimerEntry parseTimerEntry(std::string_view line);

// "$R5,TMR,PGM,%u,%s,%s,%lu\r\n": writes one entry.
std::string timerEntryLine(std::size_t index, const TimerEntry& entry);
// "$R5,TMR,PGM,%u,20000101,000000,0\r\n": clears one entry.
std::string timerClearLine(std::size_t index);
// The entry a clearing line leaves (2000-01-01 00:00:00, no duration).
TimerEntry clearedTimerEntry();

// Seconds of a calendar date-time counted on one continuous scale (no time zone): the difference of
// two of them is the number of seconds between them.
std::int64_t civilSeconds(const DateTime& t);

// The recorder's running clock: the time of its last reading plus the time passed on this computer
// since that reading arrived.
DateTime runningClock(const DateTime& reading, std::time_t computerAtReading, std::time_t computerNow);

// What the programme still has to record at the recorder's time `now`. An entry is pending when its
// duration is not zero and it ends after `now`; one that has already started counts only what is
// left of it. `pending[i]` tells each row (its row number is shown enabled).
struct TimerTotals {
  std::uint64_t pendingSeconds = 0;
  std::array<bool, kTimerRows> pending{};
};
TimerTotals timerTotals(const TimerRows& rows, const DateTime& now);

// The free recording time left after the programme (negative when the programme needs more).
inline std::int64_t freeAfterProgramme(std::uint64_t freeSeconds, std::uint64_t pendingSeconds) {
  return static_cast<std::int64_t>(freeSeconds) - static_cast<std::int64_t>(pendingSeconds);
}

// A span as total hours, minutes and seconds: "%02lu:%02lu:%02lu" (hours may exceed 24), a negative
// one as "-%02lu:%02lu:%02lu" of its magnitude.
std::string timerSpanText(std::int64_t seconds);

}  // namespace recdesk::operations
