// recdesk-cli overview: the level overview the player's bar shows, as text or as a CSV file.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "Cli.h"
#include "playback/LevelOverview.h"
#include "playback/PlayerMath.h"

namespace recdesk::cli {
namespace {

using playback::LevelOverview;

// One character per column for the loudest peak of the points it covers.
std::string levelStrip(const LevelOverview& o, int channel, std::size_t columns) {
  static const std::string kShades = " .:-=+*#%@";
  std::string strip;
  const std::size_t count = o.points.size();
  for (std::size_t c = 0; c < std::min(columns, count); ++c) {
    std::int32_t peak = 0;
    for (std::size_t j = c * count / columns;
         j < std::max((c + 1) * count / columns, c * count / columns + 1); ++j)
      peak = std::max({peak, std::abs(o.points[j].min[channel]), std::abs(o.points[j].max[channel])});
    strip +=
        kShades[static_cast<std::size_t>(std::min<std::int32_t>(peak, 32767)) * (kShades.size() - 1) / 32767];
  }
  return strip;
}

bool writeCsv(const LevelOverview& o, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << (o.channels == 2 ? "point,min1,max1,min2,max2\n" : "point,min,max\n");
  for (std::size_t j = 0; j < o.points.size(); ++j) {
    out << j << "," << o.points[j].min[0] << "," << o.points[j].max[0];
    if (o.channels == 2) out << "," << o.points[j].min[1] << "," << o.points[j].max[1];
    out << "\n";
  }
  return static_cast<bool>(out.flush());
}

int runOverviewCommand(CliContext& context) {
  const std::string path = *context.value("FILE");
  const playback::MediaKind kind = playback::mediaKindFor(path);
  if (kind == playback::MediaKind::None)
    return fail(path + ": only IM2 recordings (.im2) and WAV files (.wav) have a level overview");
  const LevelOverview o =
      kind == playback::MediaKind::Im2 ? playback::im2Overview(path) : playback::wavOverview(path);
  if (o.channels == 0) return fail(path + ": no level overview (the file cannot be read or holds no audio)");

  std::cout << o.points.size() << " points, " << o.channels
            << (o.channels == 1 ? " channel\n" : " channels\n");
  for (int ch = 0; ch < o.channels; ++ch) {
    std::cout << "channel " << ch + 1 << ": lowest " << o.min[ch] << ", highest " << o.max[ch] << ", centre "
              << o.centre[ch] << "\n  |" << levelStrip(o, ch, 75) << "|\n";
  }
  if (const auto csv = context.value("--csv")) {
    if (!writeCsv(o, *csv)) return fail("cannot write " + *csv);
    std::cout << *csv << "\n";
  }
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "overview",
    "print the level overview of an IM2 recording or a WAV file (up to 300 points per channel, "
    "lowest and highest peaks, centre value)",
    runOverviewCommand, argument(file("FILE", "", "the IM2 recording or WAV file"), true),
    file("--csv", "OUT", "also write every point to OUT as CSV"));

}  // namespace recdesk::cli
