#pragma once
// The check of the file-name prefix the user types. The prefix is the first part of every
// recording's file names ("TRIP.R5-00042.7.im2"), so it holds none of the nine characters file names
// refuse (`/\*:|?"><`), no control character (a paste can bring a tab or a line break), and at most
// kMaxPrefixLength bytes (cut before a character, never inside one). Anything else is kept as typed.
#include <cstddef>
#include <string>
#include <string_view>

namespace recdesk::app {

inline constexpr const char* kRefusedPrefixCharacters = "/\\*:|?\"><";
inline constexpr std::size_t kMaxPrefixLength = 64;

struct PrefixCheck {
  std::string text;      // the prefix as it may be used
  bool changed = false;  // something was taken out: the edit shows `text` with the caret at its end
};

// The check on every edit of the prefix box: every refused character goes at once (a paste of
// "a:b|c" becomes "abc").
PrefixCheck checkPrefix(std::string_view typed);

}  // namespace recdesk::app
