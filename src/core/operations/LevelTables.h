#pragma once
// The level preview's pure part: one flash page decoded on its own into the lowest and highest
// sample of each channel, the tables of up to 300 pages, and their statistics.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace recdesk::operations {

// An 8-bit sample (unsigned, 128 the middle) as a 16-bit one: 0 -> -32640, 128 -> 0, 255 -> 32385.
constexpr std::int16_t widen8(std::uint8_t sample) { return static_cast<std::int16_t>(sample * 255 - 32640); }

// Lowest and highest sample of each channel of one page.
struct PageLevels {
  int channels = 1;
  std::array<std::int16_t, 2> low{};
  std::array<std::int16_t, 2> high{};
};
// Decodes the 528-byte `page` by itself (its own trailer names the format). No check is made: a
// damaged page gives whatever it decodes to. A page that decodes to no samples gives 0 and 0.
PageLevels pageLevels(const std::uint8_t* page);

// The tables: per page, lowest and highest of channel 1 and of channel 2 (stereo only).
struct LevelTables {
  static constexpr std::size_t kMaxPages = 300;
  int channels = 1;
  std::array<std::vector<std::int16_t>, 2> low;
  std::array<std::vector<std::int16_t>, 2> high;
  std::size_t count() const { return low[0].size(); }
  // Appends a page's levels; false when the tables are full.
  bool add(const PageLevels& levels);
  void clear(int channelCount);
};

// Per channel: the mean of (lowest + highest) / 2 and the extremes, over the entries from the second
// to the last (the first page is left out). With fewer than 2 entries everything is 0.
struct LevelStatistics {
  std::array<std::int16_t, 2> mean{};
  std::array<std::int16_t, 2> lowest{};
  std::array<std::int16_t, 2> highest{};
  bool operator==(const LevelStatistics&) const = default;
};
LevelStatistics levelStatistics(const LevelTables& tables);

}  // namespace recdesk::operations
