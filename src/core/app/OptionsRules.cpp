#include "app/OptionsRules.h"

#include <algorithm>
#include <cmath>

#include "lang/Strings.h"

namespace recdesk::app {

std::string programFolder(std::string_view programPath) {
  std::string path;
  path.reserve(programPath.size());
  for (char c : programPath)
    if (c != '"') path += c;
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string programFolderWithSlash(std::string_view programPath) {
  std::string folder = programFolder(programPath);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

const std::array<LinkChoice, kLinkChoiceCount>& linkChoices() {
  static const std::array<LinkChoice, kLinkChoiceCount> table{{
      {TextId::LinkNotConfigured, 0, 0, 0},
      {TextId::LinkUsb1Mbit, 0, 1000, 1000000},
      {TextId::LinkUsb2Mbit, 0, 1000, 2000000},
      {TextId::LinkUsb3Mbit, 0, 1000, 3000000},
      {TextId::LinkVantle3Mbit, 0, 2000, 3000000},
      {TextId::SerialPortCom, 1, 1, 115200},
      {TextId::SerialPortCom, 2, 2, 115200},
      {TextId::SerialPortCom, 3, 3, 115200},
      {TextId::SerialPortCom, 4, 4, 115200},
      {TextId::SerialPortCom, 5, 5, 115200},
      {TextId::SerialPortCom, 6, 6, 115200},
      {TextId::SerialPortCom, 7, 7, 115200},
      {TextId::SerialPortCom, 8, 8, 115200},
  }};
  return table;
}

std::string linkChoiceText(int index) {
  if (index < 0 || index >= kLinkChoiceCount) return {};
  const LinkChoice& c = linkChoices()[static_cast<std::size_t>(index)];
  std::string text = lang::text(c.textId);
  if (c.serialNumber != 0) text += std::to_string(c.serialNumber);
  return text;
}

int linkChoiceIndex(std::int16_t port, std::uint32_t speed) {
  if (port <= 0) return 0;
  if (port == 1000) {
    if (speed == 1000000) return 1;
    if (speed == 3000000) return 3;
    return 2;
  }
  if (port == 2000) return 4;
  if (port >= 1 && port <= 8) return port + 4;
  return -1;
}

std::optional<LinkSetting> linkFromChoice(int index, std::uint32_t currentSpeed) {
  if (index < 0 || index >= kLinkChoiceCount) return std::nullopt;
  const LinkChoice& c = linkChoices()[static_cast<std::size_t>(index)];
  return LinkSetting{c.port, c.speed == 0 ? currentSpeed : c.speed};
}

int accelerationExponent(std::uint32_t count) {
  if (count == 0) return 0;
  const int exponent = static_cast<int>(std::floor(std::log2(static_cast<double>(count)) + 0.5));
  return std::clamp(exponent, 0, kMaxAccelerationExponent);
}

std::uint16_t accelerationFromExponent(int exponent) {
  return static_cast<std::uint16_t>(1u << std::clamp(exponent, 0, kMaxAccelerationExponent));
}

}  // namespace recdesk::app
