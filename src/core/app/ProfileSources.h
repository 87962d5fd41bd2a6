#pragma once
// Where profiles come from: the settings file's profile sections, the read-only profile file and the
// built-in list of the reduced recorder; and the line a user profile is saved as. Everything read here
// is untrusted: a line that cannot be read is skipped, a count is bounded, nothing throws.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Profile.h"

namespace recdesk::app {

class SettingsFile;

// Keys of the profile sections.
inline constexpr const char* kNumProfiles = "NumProfiles";
inline constexpr const char* kProfilesSection = "Profiles";  // the profile file's section
// "Profile%d".
std::string profileKey(int number);
// At most this many lines are read from one section (a damaged count must not make us loop for ever).
inline constexpr int kMaxProfilesPerSection = 1000;
// A profile-file line is read into a buffer of this many characters (the rest is cut off).
inline constexpr std::size_t kProfileFileLineLimit = 149;
// Profile names longer than this are cut.
inline constexpr std::size_t kMaxProfileName = 100;

// A whole integer with nothing after it (leading blanks allowed); nothing otherwise.
std::optional<long long> wholeInteger(std::string_view text);

// A settings-file line: 8 fields "name,-,rate,bits,channels,-,gain,type"; in the general section
// ("Device Profiles") also 7 fields without the type (type 0). Fields 1 and 5 are not read; the
// numbers are not range-checked but must fit their fields. Source: user.
std::optional<DeviceProfile> parseSettingsProfileLine(std::string_view line, bool generalSection);
// The line a user profile is saved as: "%s,%d,%ld,%d,%d,0,%d,%s" (name, 0, rate, bits, channels, gain,
// type name).
std::string settingsProfileLine(const DeviceProfile& profile);

// A profile-file line: "name,rate,bits,channels,gain[,type]", accepted only with a rate of 8000, 11025,
// 16000 or 22050, bits 4, 8 or 16, channels 1 or 2 and a gain of 0..32. Source: read-only.
std::optional<DeviceProfile> parseProfileFileLine(std::string_view line);

// One section of the settings file as read: the profiles accepted, and the raw text of every line that
// was not (kept so that saving the section loses nothing).
struct SectionLines {
  std::vector<DeviceProfile> profiles;
  std::vector<std::string> otherLines;
};
// Reads a section; with `onlyType` set, lines of another non-zero type go to `otherLines`.
SectionLines readSettingsSection(const SettingsFile& file, const std::string& section, bool generalSection,
                                 std::optional<int> onlyType);

// Every line of a section, as stored, in key order.
std::vector<std::string> rawSectionLines(const SettingsFile& file, const std::string& section);

// The profile file: the profiles accepted (lines of another device type are left out when `onlyType`
// is set). A missing file reads as no profiles.
std::vector<DeviceProfile> readProfileFile(const std::filesystem::path& file, std::optional<int> onlyType);
// Whether a file may serve as the profile file: it has "Profiles" "NumProfiles".
bool isProfileFile(const std::filesystem::path& file);

// The built-in list of the reduced recorder (type 8, read-only); variant 1 has three stereo entries
// first.
std::vector<DeviceProfile> builtInProfiles(std::uint16_t subModel);

}  // namespace recdesk::app
