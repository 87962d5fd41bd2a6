#include "app/ProfileSources.h"

#include <limits>

#include "app/SettingsFile.h"
#include "lang/Strings.h"

namespace recdesk::app {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      out.push_back(line.substr(start));
      return out;
    }
    out.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
}

// A name as shown and sent: control characters dropped, cut to kMaxProfileName.
std::string cleanName(std::string_view text) {
  std::string out;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
  if (out.size() > kMaxProfileName) out.resize(kMaxProfileName);
  return out;
}

template <typename T>
std::optional<T> fieldAs(std::string_view text) {
  const auto v = wholeInteger(text);
  if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max()) return std::nullopt;
  return static_cast<T>(*v);
}

// Rate, bits, channels and gain from four fields.
std::optional<RecordingValues> valuesFrom(std::string_view rate, std::string_view bits,
                                          std::string_view channels, std::string_view gain) {
  const auto r = fieldAs<std::int32_t>(rate);
  const auto b = fieldAs<std::int16_t>(bits);
  const auto c = fieldAs<std::int16_t>(channels);
  const auto g = fieldAs<std::int16_t>(gain);
  if (!r || !b || !c || !g) return std::nullopt;
  return RecordingValues{*r, *b, *c, *g};
}

bool offeredRate(long v) {
  return v == 8000 || v == 11025 || v == 16000 || v == 22050;
}

}  // namespace

std::string profileKey(int number) {
  return "Profile" + std::to_string(number);
}

std::optional<long long> wholeInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    if (value > (std::numeric_limits<long long>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::optional<DeviceProfile> parseSettingsProfileLine(std::string_view line, bool generalSection) {
  const auto f = splitFields(line);
  if (f.size() != 8 && !(generalSection && f.size() == 7)) return std::nullopt;
  const auto values = valuesFrom(f[2], f[3], f[4], f[6]);
  if (!values) return std::nullopt;
  DeviceProfile p;
  p.name = cleanName(f[0]);
  p.source = ProfileSource::User;
  p.values = *values;
  p.type = static_cast<std::int16_t>(f.size() == 8 ? deviceTypeFromText(f[7]) : device_type::kAny);
  return p;
}

std::string settingsProfileLine(const DeviceProfile& p) {
  return lang::formatText(
      "%s,%d,%ld,%d,%d,0,%d,%s",
      {p.name, 0, static_cast<long>(p.values.rate), static_cast<int>(p.values.bits),
       static_cast<int>(p.values.channels), static_cast<int>(p.values.gain), deviceTypeName(p.type)});
}

std::optional<DeviceProfile> parseProfileFileLine(std::string_view line) {
  const auto f = splitFields(line.substr(0, kProfileFileLineLimit));
  if (f.size() != 5 && f.size() != 6) return std::nullopt;
  const auto values = valuesFrom(f[1], f[2], f[3], f[4]);
  if (!values) return std::nullopt;
  const RecordingValues& v = *values;
  if (!offeredRate(v.rate) || (v.bits != 4 && v.bits != 8 && v.bits != 16) ||
      (v.channels != 1 && v.channels != 2) || v.gain < 0 || v.gain > 32)
    return std::nullopt;
  DeviceProfile p;
  p.name = cleanName(f[0]);
  p.source = ProfileSource::ReadOnly;
  p.values = v;
  p.type = static_cast<std::int16_t>(f.size() == 6 ? deviceTypeFromText(f[5]) : device_type::kAny);
  return p;
}

SectionLines readSettingsSection(const SettingsFile& file, const std::string& section, bool generalSection,
                                 std::optional<int> onlyType) {
  SectionLines out;
  const auto count = file.readInt(section, kNumProfiles, 0);
  for (int i = 0; i < count && i < kMaxProfilesPerSection; ++i) {
    const std::string key = profileKey(i);
    if (!file.hasKey(section, key)) continue;
    const std::string line = file.readText(section, key, "");
    const auto p = parseSettingsProfileLine(line, generalSection);
    if (p && !(onlyType && p->type != device_type::kAny && p->type != *onlyType))
      out.profiles.push_back(*p);
    else
      out.otherLines.push_back(line);
  }
  return out;
}

std::vector<std::string> rawSectionLines(const SettingsFile& file, const std::string& section) {
  std::vector<std::string> out;
  const auto count = file.readInt(section, kNumProfiles, 0);
  for (int i = 0; i < count && i < kMaxProfilesPerSection; ++i)
    if (file.hasKey(section, profileKey(i))) out.push_back(file.readText(section, profileKey(i), ""));
  return out;
}

std::vector<DeviceProfile> readProfileFile(const std::filesystem::path& path, std::optional<int> onlyType) {
  std::vector<DeviceProfile> out;
  const SettingsFile file(path);
  const SettingsFile::HeldRead held(file);
  const auto count = file.readInt(kProfilesSection, kNumProfiles, 0);
  for (int i = 0; i < count && i < kMaxProfilesPerSection; ++i) {
    const auto p = parseProfileFileLine(file.readText(kProfilesSection, profileKey(i), ""));
    if (!p) continue;
    if (onlyType && p->type != device_type::kAny && p->type != *onlyType) continue;
    out.push_back(*p);
  }
  return out;
}

bool isProfileFile(const std::filesystem::path& path) {
  const SettingsFile file(path);
  return file.readInt(kProfilesSection, kNumProfiles, -1) != -1;
}

std::vector<DeviceProfile> builtInProfiles(std::uint16_t subModel) {
  struct Entry {
    TextId name;
    std::int32_t rate;
    std::int16_t bits, channels;
  };
  std::vector<Entry> entries;
  if (subModel == 1)
    entries = {{TextId::ProfileSpeechStereo, 8000, 4, 2},
               {TextId::ProfileStandardStereo, 11025, 4, 2},
               {TextId::ProfileHighQualityStereo, 11025, 8, 2}};
  entries.push_back({TextId::ProfileSpeechMono, 8000, 4, 1});
  entries.push_back({TextId::ProfileStandardMono, 11025, 4, 1});
  entries.push_back({TextId::ProfileHighQualityMono, 11025, 8, 1});
  std::vector<DeviceProfile> out;
  for (const auto& e : entries)
    out.push_back({lang::text(e.name),
                   ProfileSource::ReadOnly,
                   {e.rate, e.bits, e.channels, 0},
                   device_type::kBuiltIn});
  return out;
}

}  // namespace recdesk::app
