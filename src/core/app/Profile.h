#pragma once
// A device profile: a named set of recording settings (sample rate, sample size, channels, gain) that
// the recorder is told to use, and the device types profiles belong to.
#include <cstdint>
#include <string>
#include <string_view>

namespace recdesk::app {

// Device types: a profile's, and the connected device's (from its version reply).
namespace device_type {
inline constexpr int kAny = 0;
inline constexpr int kR5 = 1;
inline constexpr int kR6 = 2;
inline constexpr int kT7 = 4;
inline constexpr int kBuiltIn = 8;  // the fixed list of the reduced recorder
}  // namespace device_type

enum class ProfileSource : int {
  User = 0,      // kept in the settings file, editable
  ReadOnly = 1,  // from the profile file or the built-in list: never saved, never edited
};

// The four values the recorder uses.
struct RecordingValues {
  std::int32_t rate = 8000;
  std::int16_t bits = 4;
  std::int16_t channels = 1;
  std::int16_t gain = 0;  // 0 = automatic, 1..32 fixed
  bool operator==(const RecordingValues&) const = default;
};

struct DeviceProfile {
  std::string name;
  ProfileSource source = ProfileSource::User;
  RecordingValues values;
  std::int16_t type = device_type::kAny;
  bool operator==(const DeviceProfile&) const = default;
};

// The type a text names: leading blanks dropped, upper case, then "R5", "R6" or "T7" at its start;
// otherwise 0 (" r5x" is an R5).
int deviceTypeFromText(std::string_view text);
// "R5", "R6", "T7"; an empty text for any other type.
std::string deviceTypeName(int type);
// The settings-file section of a type's profiles: "Device Profiles for R5" etc., else "Device Profiles".
std::string profileSection(int type);

// The line that sets the recorder's recording type: "$R5,TYP,<rate>,<bits>,<channels>,OFF,<gain>\r\n",
// or for the reduced recorder "$R5,TYP,<NAME>\r\n" with the name in upper case and each blank as "_"
// (characters that could end or split the line are left out of the name).
std::string typeLine(const DeviceProfile& profile, bool reducedVariant);

// The language label of a channel count: mono for 1, stereo otherwise.
std::string channelLabel(int channels);

// ASCII upper case.
std::string upperCase(std::string_view text);

}  // namespace recdesk::app
