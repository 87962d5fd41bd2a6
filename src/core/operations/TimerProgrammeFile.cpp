#include "operations/TimerProgrammeFile.h"

#include <cstdio>

namespace recdesk::operations {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// `count` digits at `at`, read as a number; false when any is not a digit.
bool digits(std::string_view s, std::size_t at, std::size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(s[i])) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// The reason a line is not an entry, or empty when it is one (then `entry` holds it).
std::string readEntry(std::string_view line, TimerEntry& entry) {
  // "YYYY-MM-DD" blank "HH:MM:SS" blank "SECONDS"
  DateTime& t = entry.start;
  if (line.size() < 10 || !digits(line, 0, 4, t.year) || line[4] != '-' || !digits(line, 5, 2, t.month) ||
      line[7] != '-' || !digits(line, 8, 2, t.day))
    return "expected an entry \"YYYY-MM-DD HH:MM:SS SECONDS\"";
  std::size_t at = 10;
  if (at >= line.size() || !isBlank(line[at])) return "expected a blank and the start time HH:MM:SS after the date";
  while (at < line.size() && isBlank(line[at])) ++at;
  if (!digits(line, at, 2, t.hour) || at + 8 > line.size() || line[at + 2] != ':' ||
      !digits(line, at + 3, 2, t.minute) || line[at + 5] != ':' || !digits(line, at + 6, 2, t.second))
    return "expected the start time HH:MM:SS after the date";
  at += 8;
  if (at >= line.size() || !isBlank(line[at])) return "expected a blank and the duration in seconds after the time";
  while (at < line.size() && isBlank(line[at])) ++at;
  const std::size_t from = at;
  unsigned long long seconds = 0;
  while (at < line.size() && isDigit(line[at])) {
    if (seconds <= kMaxTimerDuration) seconds = seconds * 10 + static_cast<unsigned>(line[at] - '0');
    ++at;
  }
  if (at == from) return "expected the duration as a whole number of seconds after the time";
  while (at < line.size() && isBlank(line[at])) ++at;
  if (at != line.size()) return "unexpected text after the duration";
  if (!t.isCalendarDate()) return "the start is not a real date and time of day";
  if (t < DateTime{2000, 1, 1, 0, 0, 0} || t > DateTime{9000, 1, 1, 0, 0, 0})
    return "the start must lie from 2000-01-01 to 9000-01-01";
  if (seconds == 0 || seconds > kMaxTimerDuration) {
    char text[96];
    std::snprintf(text, sizeof text, "the duration must be from 1 to %u seconds (96:59:59)",
                  static_cast<unsigned>(kMaxTimerDuration));
    return text;
  }
  entry.durationSeconds = static_cast<std::uint32_t>(seconds);
  return {};
}

}  // namespace

TimerProgrammeText parseTimerProgrammeText(std::string_view text) {
  TimerProgrammeText out;
  const auto error = [&](std::size_t number, const std::string& why) {
    if (out.errors.size() < kMaxTimerProgrammeErrors) out.errors.push_back("line " + std::to_string(number) + ": " + why);
  };
  if (text.size() > kMaxTimerProgrammeText) {
    out.errors.push_back("the file is larger than " + std::to_string(kMaxTimerProgrammeText / 1024) +
                         " KiB: it cannot be a timer programme");
    return out;
  }
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    line.remove_prefix(first);
    if (line.empty() || line.front() == '#') continue;
    TimerEntry entry;
    const std::string why = readEntry(line, entry);
    if (!why.empty()) {
      error(number, why);
      continue;
    }
    if (out.entries.size() == kTimerRows) {
      error(number, "a timer programme holds at most " + std::to_string(kTimerRows) + " entries");
      continue;
    }
    out.entries.push_back(entry);
  }
  if (!out.errors.empty()) out.entries.clear();
  return out;
}

}  // namespace recdesk::operations
