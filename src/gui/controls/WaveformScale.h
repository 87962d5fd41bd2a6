#pragma once
// The arithmetic of the level display, without drawing: the bands of one or two channels and where
// a point's lowest and highest values go, scaled so that the channel's lowest peak reaches the
// bottom of its band and its highest peak the top.
#include <cstddef>
#include <utility>
#include <vector>

namespace recdesk::gui {

// One channel's level trace: up to kMaxLevelPoints points, each a lowest and a highest value, with
// the channel's centre value and its lowest and highest peaks.
struct LevelChannel {
  std::vector<std::pair<int, int>> points;  // (lowest, highest)
  int centre = 0;
  int lowPeak = 0;
  int highPeak = 0;
};
inline constexpr std::size_t kMaxLevelPoints = 300;

struct LevelBand {
  int mid = 0;   // the centre line
  int half = 0;  // half the band's height
};

// Mono: one band at top + h/2 with half-band h/2. Stereo: centre lines at top + b and bottom - b
// with b = h/4 - 2 (integer arithmetic). `bottom` is top + height.
std::vector<LevelBand> levelBands(int top, int height, int channels);
// The y of a point's lowest and highest values in `band`; a peak equal to the centre draws at mid.
int lowestY(const LevelBand& band, const LevelChannel& channel, int value);
int highestY(const LevelBand& band, const LevelChannel& channel, int value);
// The x of stroke `i` (1 .. n-1) of `n` points over `width` pixels.
int strokeX(int width, std::size_t n, std::size_t i);

}  // namespace recdesk::gui
