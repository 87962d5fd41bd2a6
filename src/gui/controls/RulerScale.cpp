#include "controls/RulerScale.h"

#include <cstdio>

namespace recdesk::gui {

std::vector<RulerTick> rulerTicks(long long spanSeconds, long long startOfDay, int width) {
  std::vector<RulerTick> ticks;
  if (spanSeconds <= 0 || width <= 0) return ticks;
  const double pixelsPerSecond = static_cast<double>(width) / static_cast<double>(spanSeconds);
  const bool hours = 3600 * pixelsPerSecond > 5;
  const bool quarters = 600 * pixelsPerSecond > 5;
  const bool fives = 60 * pixelsPerSecond > 5;
  if (!hours) return ticks;
  // The first five-minute mark at or after the left edge.
  const long long offset = ((startOfDay % 300) + 300) % 300;
  const long long first = offset == 0 ? 0 : 300 - offset;
  for (long long s = first; s <= spanSeconds; s += 300) {
    const long long clock = startOfDay + s;
    int height = 2;
    if (clock % 3600 == 0)
      height = 8;
    else if (clock % 900 == 0)
      height = 5;
    if ((height == 5 && !quarters) || (height == 2 && !fives)) continue;
    ticks.push_back(RulerTick{static_cast<int>(static_cast<double>(s) * pixelsPerSecond), height});
  }
  return ticks;
}

std::string durationLabel(long long seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%.0f:%02ld:%02ld", static_cast<double>(seconds / 3600),
                static_cast<long>(seconds / 60 % 60), static_cast<long>(seconds % 60));
  return text;
}

namespace {
std::string formatLocal(std::time_t when, const char* format) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, format, &tm);
  return std::string(text, n);
}
}  // namespace

std::string dateEdgeLabel(std::time_t when) { return formatLocal(when, "%H:%M:%S, %a "); }
std::string dateCentreLabel(std::time_t when) { return formatLocal(when, "%a, %d %b %Y, %H:%M:%S "); }

}  // namespace recdesk::gui
