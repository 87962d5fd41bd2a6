#include "controls/WaveformScale.h"

namespace recdesk::gui {

std::vector<LevelBand> levelBands(int top, int height, int channels) {
  if (channels >= 2) {
    const int b = height / 4 - 2;
    return {LevelBand{top + b, b}, LevelBand{top + height - b, b}};
  }
  return {LevelBand{top + height / 2, height / 2}};
}

int lowestY(const LevelBand& band, const LevelChannel& c, int value) {
  const double range = static_cast<double>(c.lowPeak) - c.centre;
  if (range == 0) return band.mid;
  return band.mid + static_cast<int>((static_cast<double>(value) - c.centre) / range * band.half);
}

int highestY(const LevelBand& band, const LevelChannel& c, int value) {
  const double range = static_cast<double>(c.highPeak) - c.centre;
  if (range == 0) return band.mid;
  return band.mid - static_cast<int>((static_cast<double>(value) - c.centre) / range * band.half);
}

int strokeX(int width, std::size_t n, std::size_t i) {
  if (n == 0) return 0;
  return static_cast<int>(static_cast<double>(width) / static_cast<double>(n) * static_cast<double>(i));
}

}  // namespace recdesk::gui
