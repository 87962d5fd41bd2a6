#include "operations/LevelTables.h"

#include <algorithm>

#include "audio/AudioDecoder.h"

namespace recdesk::operations {

PageLevels pageLevels(const std::uint8_t* page) {
  audio::AudioDecoder decoder;
  decoder.setPage(page);
  decoder.ParseHeader(false);
  alignas(16) std::array<std::uint8_t, audio::kPageOutputBuffer> output{};
  const audio::PageResult decoded = decoder.DecodePage(output.data());

  PageLevels levels;
  levels.channels = decoder.channels() == 2 ? 2 : 1;
  std::array<int, 2> low{32767, 32767};
  std::array<int, 2> high{-32768, -32768};
  std::array<bool, 2> seen{false, false};
  const std::size_t bytes = std::min<std::size_t>(decoded.bytes, output.size());
  const bool eightBit = decoder.outputBits() == 8;
  const std::size_t samples = eightBit ? bytes : bytes / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    int v = 0;
    if (eightBit) {
      v = widen8(output[i]);
    } else {
      v = static_cast<std::int16_t>(static_cast<std::uint16_t>(output[2 * i] | (output[2 * i + 1] << 8)));
    }
    const std::size_t ch = levels.channels == 2 ? (i & 1u) : 0;
    low[ch] = std::min(low[ch], v);
    high[ch] = std::max(high[ch], v);
    seen[ch] = true;
  }
  for (std::size_t ch = 0; ch < 2; ++ch) {
    levels.low[ch] = seen[ch] ? static_cast<std::int16_t>(low[ch]) : 0;
    levels.high[ch] = seen[ch] ? static_cast<std::int16_t>(high[ch]) : 0;
  }
  return levels;
}

void LevelTables::clear(int channelCount) {
  channels = channelCount == 2 ? 2 : 1;
  for (auto& t : low) t.clear();
  for (auto& t : high) t.clear();
}

bool LevelTables::add(const PageLevels& levels) {
  if (count() >= kMaxPages) return false;
  for (std::size_t ch = 0; ch < 2; ++ch) {
    // Channel 2 is filled for stereo recordings only.
    const bool used = ch == 0 || channels == 2;
    low[ch].push_back(used ? levels.low[ch] : 0);
    high[ch].push_back(used ? levels.high[ch] : 0);
  }
  return true;
}

LevelStatistics levelStatistics(const LevelTables& tables) {
  LevelStatistics s;
  const std::size_t c = tables.count();
  if (c < 2) return s;
  for (std::size_t ch = 0; ch < static_cast<std::size_t>(tables.channels) && ch < 2; ++ch) {
    int lowest = 32767, highest = -32768;
    double sum = 0;
    for (std::size_t i = 1; i < c; ++i) {
      lowest = std::min<int>(lowest, tables.low[ch][i]);
      highest = std::max<int>(highest, tables.high[ch][i]);
      sum += (static_cast<double>(tables.low[ch][i]) + static_cast<double>(tables.high[ch][i])) / 2.0;
    }
    s.lowest[ch] = static_cast<std::int16_t>(lowest);
    s.highest[ch] = static_cast<std::int16_t>(highest);
    // The mean over the entries summed (the first one is left out of both).
    s.mean[ch] = static_cast<std::int16_t>(sum / static_cast<double>(c - 1));
  }
  return s;
}

}  // namespace recdesk::operations
