#include "app/ProfileStore.h"

#include <algorithm>

#include "app/ProfileSources.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "lang/Strings.h"

namespace recdesk::app {
namespace {

std::string gainFormat(const RecordingValues& v) {
  return v.gain != 0 ? "%i" : lang::text(TextId::GainAuto);
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && upperCase(text.substr(0, prefix.size())) == upperCase(prefix);
}

// The number of a "Profile%d" key; nothing for other keys.
std::optional<long long> profileKeyNumber(const std::string& key) {
  constexpr std::string_view kPrefix = "PROFILE";
  const std::string upper = upperCase(key);
  if (upper.size() <= kPrefix.size() || upper.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  return wholeInteger(std::string_view(upper).substr(kPrefix.size()));
}

}  // namespace

std::string temporaryProfileName(const RecordingValues& v) {
  const std::string format =
      lang::formatText("%s %%s:%%li.%%i.%s: %s",
                       {lang::text(TextId::RecorderSetting), lang::text(TextId::Gain), gainFormat(v)});
  return lang::formatText(format, {channelLabel(v.channels), static_cast<long>(v.rate),
                                   static_cast<int>(v.bits), static_cast<int>(v.gain)});
}

std::string profileDescription(const RecordingValues& v) {
  const std::string format = lang::formatText(
      "%%s:%%li,%%i,%s %s - %s", {lang::text(TextId::BitsWord), lang::text(TextId::Gain), gainFormat(v)});
  return lang::formatText(format, {channelLabel(v.channels), static_cast<long>(v.rate),
                                   static_cast<int>(v.bits), static_cast<int>(v.gain)});
}

void ProfileStore::load(const SettingsFile& settings, const std::string& profileIni,
                        const ConnectedDevice& device) {
  device_ = device;
  list_.clear();
  readSections_.clear();
  dropTemporary();
  selected_.reset();
  if (device.connected && device.reduced) {
    list_ = builtInProfiles(device.subModel);
  } else {
    const SettingsFile::HeldRead held(settings);
    const std::optional<int> onlyType = device.connected ? std::optional<int>(device.type) : std::nullopt;
    std::vector<int> types;
    if (!device.connected)
      types = {device_type::kR5, device_type::kR6, device_type::kT7};
    else if (!deviceTypeName(device.type).empty())
      types = {device.type};
    for (int type : types) {
      const std::string section = profileSection(type);
      SectionLines lines = readSettingsSection(settings, section, false, onlyType);
      list_.insert(list_.end(), lines.profiles.begin(), lines.profiles.end());
      readSections_.emplace_back(section, std::move(lines.otherLines));
    }
    SectionLines general = readSettingsSection(settings, keys::kDeviceProfiles, true, std::nullopt);
    list_.insert(list_.end(), general.profiles.begin(), general.profiles.end());
    readSections_.emplace_back(keys::kDeviceProfiles, std::move(general.otherLines));
    if (!profileIni.empty() && profileIni != keys::kNoInit) {
      const auto fromFile = readProfileFile(profileIni, onlyType);
      list_.insert(list_.end(), fromFile.begin(), fromFile.end());
    }
  }
  if (!list_.empty()) selected_ = 0;
}

bool ProfileStore::save(SettingsFile& settings, std::string* error) const {
  // Every section to write, with the lines kept in front of its profiles.
  std::vector<std::pair<std::string, std::vector<std::string>>> sections = readSections_;
  const auto sectionOf = [&](const std::string& name) {
    return std::find_if(sections.begin(), sections.end(),
                        [&](const auto& s) { return sameName(s.first, name); });
  };
  for (const auto& p : list_) {
    if (p.source != ProfileSource::User) continue;
    const std::string section = profileSection(p.type);
    if (sectionOf(section) != sections.end()) continue;
    // A section that was not read (a profile of another type): everything in it stays.
    sections.emplace_back(section, rawSectionLines(settings, section));
  }
  for (const auto& p : list_)
    if (p.source == ProfileSource::User)
      sectionOf(profileSection(p.type))->second.push_back(settingsProfileLine(p));

  std::vector<SettingsFile::Change> changes;
  for (const auto& [section, lines] : sections) {
    const long long count = static_cast<long long>(lines.size());
    for (long long i = 0; i < count; ++i)
      changes.push_back({section, profileKey(static_cast<int>(i)), lines[static_cast<std::size_t>(i)]});
    changes.push_back({section, kNumProfiles, std::to_string(count)});
    for (const auto& key : settings.keys(section))
      if (const auto n = profileKeyNumber(key); n && *n >= count)
        changes.push_back({section, key, std::nullopt});
  }
  if (changes.empty()) return true;
  return settings.write(changes, error);
}

std::vector<ProfileStore::Item> ProfileStore::items() const {
  std::vector<Item> out;
  if (hasTemporary()) out.push_back({temporary_.name, kTemporary});
  for (std::size_t i = 0; i < list_.size(); ++i) out.push_back({list_[i].name, static_cast<int>(i)});
  return out;
}

int ProfileStore::selectedItem() const {
  if (!selected_) return -1;
  const auto all = items();
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all[i].data == *selected_) return static_cast<int>(i);
  return -1;
}

void ProfileStore::selectItem(int position) {
  const auto all = items();
  if (position < 0 || static_cast<std::size_t>(position) >= all.size()) return;
  selected_ = all[static_cast<std::size_t>(position)].data;
  if (const auto* p = selectedProfile()) updateTooltip(p->values);
}

const DeviceProfile* ProfileStore::selectedProfile() const {
  if (!selected_) return nullptr;
  if (*selected_ == kTemporary) return hasTemporary() ? &temporary_ : nullptr;
  if (*selected_ < 0 || static_cast<std::size_t>(*selected_) >= list_.size()) return nullptr;
  return &list_[static_cast<std::size_t>(*selected_)];
}

std::string ProfileStore::selectedName() const {
  const auto* p = selectedProfile();
  return p ? p->name : std::string();
}

void ProfileStore::updateTooltip(const RecordingValues& v) {
  tooltip_ = profileDescription(v);
}

void ProfileStore::selectBySettings(RecordingValues v) {
  if (v.gain > 32) v.gain = 32;
  if (hasTemporary()) {
    dropTemporary();
    if (selected_ == kTemporary) selected_.reset();
  }
  const DeviceProfile* current = selectedProfile();
  if (!current || current->values != v) {
    const auto it =
        std::find_if(list_.begin(), list_.end(), [&](const DeviceProfile& p) { return p.values == v; });
    if (it != list_.end()) {
      selected_ = static_cast<int>(it - list_.begin());
    } else {
      temporary_ = DeviceProfile{temporaryProfileName(v), ProfileSource::User, v,
                                 static_cast<std::int16_t>(device_.type)};
      selected_ = kTemporary;
    }
  }
  updateTooltip(v);
}

void ProfileStore::selectByName(const std::string& reportedText) {
  std::string reported = reportedText;
  std::replace(reported.begin(), reported.end(), '_', ' ');
  if (hasTemporary()) {
    dropTemporary();
    if (selected_ == kTemporary) selected_.reset();
  }
  const DeviceProfile* current = selectedProfile();
  if (!current || upperCase(current->name) != reported) {
    const auto it = std::find_if(list_.begin(), list_.end(),
                                 [&](const DeviceProfile& p) { return upperCase(p.name) == reported; });
    if (it != list_.end()) {
      selected_ = static_cast<int>(it - list_.begin());
    } else {
      temporary_ = DeviceProfile{lang::text(TextId::ProfileUnknownSetting), ProfileSource::User,
                                 RecordingValues{11025, 4, 1, 0}, device_type::kBuiltIn};
      selected_ = kTemporary;
    }
  }
  if (const auto* p = selectedProfile()) updateTooltip(p->values);
}

bool ProfileStore::selectByProfileName(const std::string& name) {
  const auto all = items();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].text == name) {
      selectItem(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

std::optional<RecordingValues> ProfileStore::valuesNamed(const std::string& name) const {
  if (hasTemporary() && temporary_.name == name) return temporary_.values;
  for (const auto& p : list_)
    if (p.name == name) return p.values;
  return std::nullopt;
}

void ProfileStore::reselectAfterOptions(const std::optional<RecordingValues>& remembered,
                                        bool recorderConnected) {
  if (recorderConnected && remembered) selectBySettings(*remembered);
}

void ProfileStore::reselectAfterEditor(const std::string& shownName,
                                       const std::optional<RecordingValues>& remembered, bool sessionRunning,
                                       const std::string& editorName) {
  if (sessionRunning && remembered) {
    const auto now = valuesNamed(shownName);
    if (!now || *now != *remembered) selectBySettings(*remembered);
  }
  const auto all = items();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (startsWithNoCase(all[i].text, editorName)) {
      selectItem(static_cast<int>(i));
      return;
    }
  }
  selectItem(0);
}

}  // namespace recdesk::app
