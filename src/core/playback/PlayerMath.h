#pragma once
// The player's small decisions as pure functions: which files it loads, where a click on the bar
// seeks to.
#include <cstdint>
#include <string>

namespace recdesk::playback {

enum class MediaKind { None, Im2, Wav };

// By the last four characters of the name, in any letter case: ".IM2" and ".WAV" load; anything
// else loads nothing.
MediaKind mediaKindFor(const std::string& path);

// The time a click at `x` of a bar `width` wide stands for: total × x ÷ width, truncated; a click
// outside the bar counts at its nearer end.
std::int64_t clickTargetMs(std::int64_t totalMs, std::int64_t x, std::int64_t width);

}  // namespace recdesk::playback
