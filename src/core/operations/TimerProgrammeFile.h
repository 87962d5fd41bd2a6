#pragma once
// A timer programme written as text, one entry per line: "YYYY-MM-DD HH:MM:SS SECONDS" (the start
// date and time on the recorder's clock, and the duration in seconds). Blank lines and lines
// starting with "#" are skipped. The text is the user's and untrusted: every line that is not an
// entry is reported with its number, and nothing is taken from a text with any such line.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "operations/TimerEntries.h"

namespace recdesk::operations {

// The largest programme text that is read (19 entries take well under 1 KiB).
inline constexpr std::size_t kMaxTimerProgrammeText = 64 * 1024;

struct TimerProgrammeText {
  std::vector<TimerEntry> entries;  // in order: index 0, 1, …
  std::vector<std::string> errors;  // "line N: …" (at most kMaxTimerProgrammeErrors)
  bool ok() const { return errors.empty(); }
};
inline constexpr std::size_t kMaxTimerProgrammeErrors = 20;

TimerProgrammeText parseTimerProgrammeText(std::string_view text);

}  // namespace recdesk::operations
