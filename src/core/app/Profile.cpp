#include "app/Profile.h"

#include "app/Settings.h"
#include "lang/Strings.h"

namespace recdesk::app {

std::string upperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

int deviceTypeFromText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::string upper = upperCase(text.substr(i, 2));
  if (upper == "R5") return device_type::kR5;
  if (upper == "R6") return device_type::kR6;
  if (upper == "T7") return device_type::kT7;
  return device_type::kAny;
}

std::string deviceTypeName(int type) {
  switch (type) {
    case device_type::kR5:
      return "R5";
    case device_type::kR6:
      return "R6";
    case device_type::kT7:
      return "T7";
    default:
      return {};
  }
}

std::string profileSection(int type) {
  const std::string name = deviceTypeName(type);
  if (name.empty()) return keys::kDeviceProfiles;
  return std::string(keys::kDeviceProfilesFor) + name;
}

std::string typeLine(const DeviceProfile& p, bool reducedVariant) {
  if (reducedVariant) {
    std::string name;
    for (char c : upperCase(p.name)) {
      if (c == ' ')
        name += '_';
      else if (static_cast<unsigned char>(c) >= 0x20 && c != ',' && c != 0x7f)
        name += c;
    }
    return "$R5,TYP," + name + "\r\n";
  }
  return lang::formatText("$R5,TYP,%ld,%d,%d,OFF,%d\r\n",
                          {static_cast<long>(p.values.rate), static_cast<int>(p.values.bits),
                           static_cast<int>(p.values.channels), static_cast<int>(p.values.gain)});
}

std::string channelLabel(int channels) {
  return lang::text(channels == 1 ? TextId::Mono : TextId::Stereo);
}

}  // namespace recdesk::app
