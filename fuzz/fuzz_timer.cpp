// Fuzz target: the timer programme's untrusted inputs — a programme text a user hands the command
// line, and the recorder's entry lines — with the totals computed from what they gave.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "operations/TimerEntries.h"
#include "operations/TimerProgrammeFile.h"

constexpr std::size_t kMaxInput = 8192;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace recdesk::operations;
  if (size > kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const TimerProgrammeText programme = parseTimerProgrammeText(text);
  if (programme.entries.size() > kTimerRows || (!programme.ok() && !programme.entries.empty())) __builtin_trap();
  if (programme.errors.size() > kMaxTimerProgrammeErrors + 1) __builtin_trap();
  TimerRows rows;
  for (std::size_t i = 0; i < programme.entries.size(); ++i) {
    const TimerEntry& e = programme.entries[i];
    if (!e.start.isCalendarDate() || e.durationSeconds == 0 || e.durationSeconds > kMaxTimerDuration) __builtin_trap();
    rows[i] = e;
  }

  // The same bytes as the recorder's entry lines: an entry is placed only inside the rows.
  std::size_t from = 0;
  while (from <= text.size()) {
    const std::size_t end = std::min(text.find('\r', from), text.size());
    const ParsedTimerEntry p = parseTimerEntry(text.substr(from, end - from));
    if (p.index) {
      if (*p.index >= kTimerRows) __builtin_trap();
      rows[*p.index] = p.entry;
    }
    from = end + 1;
  }
  const TimerTotals totals = timerTotals(rows, DateTime{2026, 3, 31, 23, 40, 0});
  (void)timerSpanText(freeAfterProgramme(1000, totals.pendingSeconds));
  return 0;
}
