#pragma once
// The level overview the player's bar shows behind the position: up to 300 points per channel, each
// the lowest and highest sample of a stretch of the recording, and per channel the overall lowest
// and highest peak and a centre value. 8-bit samples are widened to 16 bits first (b × 255 − 32640).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioDecoder.h"

namespace recdesk::playback {

inline constexpr std::size_t kOverviewPoints = 300;

struct LevelOverview {
  int channels = 0;                  // 0: nothing to show
  std::vector<audio::Peaks> points;  // one per stretch, in order
  std::int32_t min[2] = {0, 0};      // over points 1 .. P − 1 (point 0 is left out)
  std::int32_t max[2] = {0, 0};
  std::int32_t centre[2] = {0, 0};  // sum of the points' midpoints ÷ P, toward zero
};

// An unsigned 8-bit sample widened to 16 bits.
inline std::int32_t widen8(std::uint8_t b) {
  return static_cast<std::int32_t>(b) * 255 - 32640;
}

// Peaks of PCM samples (8-bit unsigned or 16-bit signed little-endian, `channels` interleaved).
audio::Peaks scanPcm(const std::uint8_t* data, std::size_t bytes, int bits, int channels);

// The overall peaks and the centre values of the points.
LevelOverview summarise(std::vector<audio::Peaks> points, int channels);

// Where point j of `points` starts, in frames of a recording of `frames` frames (evenly spread).
std::uint64_t pointStart(std::uint64_t j, std::uint64_t frames, std::uint64_t points);

// The overview of an IM2 recording (one page per point) or of a PCM WAV file (8 or 16 bits, mono or
// stereo: up to 200 frames per point). Empty (channels 0) when the file cannot be read.
LevelOverview im2Overview(const std::string& path);
LevelOverview wavOverview(const std::string& path);

}  // namespace recdesk::playback
