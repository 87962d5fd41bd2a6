#pragma once
// The pure rules behind the Options dialog and start-up: the program folder, the link choice list and
// the transfer block count's slider.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lang/TextId.h"

namespace recdesk::app {

// The program folder: the program's path with every double quote removed, cut before its last "/".
// When that "/" is the root, the folder is "/". A path without any "/" gives an empty text.
std::string programFolder(std::string_view programPath);
// The same folder with its final "/" (the start of a file dialog's initial path).
std::string programFolderWithSlash(std::string_view programPath);

// One entry of the link choice list.
struct LinkChoice {
  TextId textId;        // language text of the entry
  int serialNumber;     // 1..8 for the serial entries (shown after the text), else 0
  std::int16_t port;    // port code the entry stands for
  std::uint32_t speed;  // link speed; 0 = the speed stays as it is
};

inline constexpr int kLinkChoiceCount = 13;
const std::array<LinkChoice, kLinkChoiceCount>& linkChoices();
// The entry's text: its language string, followed by the serial port number for serial entries.
std::string linkChoiceText(int index);

// The entry to select for a port code and speed when the dialog opens; -1 when the port code has no
// entry (a serial port above 8, an adapter index other than the first). Port codes of 0 and below
// ("no link") select entry 0.
int linkChoiceIndex(std::int16_t port, std::uint32_t speed);

struct LinkSetting {
  std::int16_t port;
  std::uint32_t speed;
};
// The port code and speed an entry stands for; entry 0 keeps `currentSpeed`. No value for an index
// outside the list (nothing selected): the link stays as it is.
std::optional<LinkSetting> linkFromChoice(int index, std::uint32_t currentSpeed);

// The transfer block count's slider (exponent 0..8): it opens at log2(count) + 1/2 cut to a whole
// number (0 for a count of 0, 8 at most); a position stores 2 to its power.
inline constexpr int kMaxAccelerationExponent = 8;
inline constexpr int kDefaultAccelerationExponent = 3;  // the button that restores the count 8
int accelerationExponent(std::uint32_t count);
std::uint16_t accelerationFromExponent(int exponent);

}  // namespace recdesk::app
