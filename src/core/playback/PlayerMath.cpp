#include "playback/PlayerMath.h"

#include <algorithm>
#include <cctype>

namespace recdesk::playback {

MediaKind mediaKindFor(const std::string& path) {
  if (path.size() < 4) return MediaKind::None;
  std::string ext = path.substr(path.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (ext == ".IM2") return MediaKind::Im2;
  if (ext == ".WAV") return MediaKind::Wav;
  return MediaKind::None;
}

std::int64_t clickTargetMs(std::int64_t totalMs, std::int64_t x, std::int64_t width) {
  if (width <= 0 || totalMs <= 0) return 0;
  x = std::clamp<std::int64_t>(x, 0, width);
  return static_cast<std::int64_t>(static_cast<double>(totalMs) * static_cast<double>(x) /
                                   static_cast<double>(width));
}

}  // namespace recdesk::playback
