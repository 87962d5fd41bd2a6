#pragma once
// The arithmetic of the time ruler, without drawing: where its ticks go and what its three labels
// say. Date mode counts clock time (ticks on whole hours, quarter hours and five minutes of the day);
// duration mode counts from zero.
#include <ctime>
#include <string>
#include <vector>

namespace recdesk::gui {

struct RulerTick {
  int x = 0;
  int height = 0;  // 8 hour, 5 quarter hour, 2 five minutes
  bool hour() const { return height == 8; }
};

// Ticks for a span of `spanSeconds` drawn over `width` pixels, whose left edge is `startOfDay`
// seconds after a whole hour (date mode: the start's seconds since midnight; duration mode: 0).
// Hour ticks appear when an hour covers more than 5 pixels, quarter-hour ticks when 600 seconds do,
// five-minute ticks when 60 seconds do.
std::vector<RulerTick> rulerTicks(long long spanSeconds, long long startOfDay, int width);

// Labels: "H:MM:SS"-like total of a duration ("%.0f:%02ld:%02ld"), and the date mode's texts.
std::string durationLabel(long long seconds);
std::string dateEdgeLabel(std::time_t when);    // "%H:%M:%S, %a "
std::string dateCentreLabel(std::time_t when);  // "%a, %d %b %Y, %H:%M:%S "

}  // namespace recdesk::gui
