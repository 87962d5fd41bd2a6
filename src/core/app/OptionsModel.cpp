#include "app/OptionsModel.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "app/OptionsRules.h"
#include "app/ProfileSources.h"
#include "app/SettingsFile.h"
#include "lang/Strings.h"
#include "ports/UserInterface.h"

namespace recdesk::app {
namespace {

std::filesystem::path dataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::filesystem::path(home) / ".local" / "share";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return std::filesystem::path(pw->pw_dir) / ".local" / "share";
  return std::filesystem::path(".local") / "share";
}

void showNotAProfileFile(ports::UserInterface& ui) {
  ui.message(lang::text(TextId::NotAProfileFile), lang::text(TextId::AppName), ports::Icon::Warning,
             ports::Buttons::Ok);
}

}  // namespace

std::filesystem::path defaultDownloadFolder() {
  return dataHome() / "recdesk" / "download";
}
std::filesystem::path defaultDecodeFolder() {
  return dataHome() / "recdesk" / "decode";
}

bool presetDefaultFolders(Settings& settings) {
  bool set = false;
  if (settings.downloadFolder.empty()) {
    settings.downloadFolder = defaultDownloadFolder().string();
    set = true;
  }
  if (settings.decryptFolder.empty()) {
    settings.decryptFolder = defaultDecodeFolder().string();
    set = true;
  }
  return set;
}

OptionsModel::OptionsModel(const Settings& s, ports::UserInterface& ui)
    : ui_(ui),
      downloadFolder_(s.downloadFolder),
      decodeFolder_(s.decryptFolder),
      autoDecode_(s.autoDecrypt),
      minutes_(s.waveCutTime),
      mib_(s.waveCutSize),
      profilePath_(s.profileIni == keys::kNoInit ? std::string() : s.profileIni),
      exponent_(accelerationExponent(s.acceleration)) {
  linkIndex_ = linkChoiceIndex(s.port, s.baud);
  accelerationEnabled_ = linkIndex_ >= 0 && linkIndex_ <= 4;
  if (minutes_ != 0) {
    cutByTime_ = true;
  } else if (mib_ != 0) {
    cutBySize_ = true;
  }
  useProfileFile_ = !profilePath_.empty();
}

void OptionsModel::setLinkIndex(int index) {
  if (index < 0 || index >= kLinkChoiceCount) return;
  linkIndex_ = index;
  accelerationEnabled_ = index <= 3;
}

void OptionsModel::setExponent(int exponent) {
  exponent_ = exponent < 0 ? 0 : exponent > kMaxAccelerationExponent ? kMaxAccelerationExponent : exponent;
}

void OptionsModel::chooseDownloadFolder(const std::string& folder) {
  downloadFolder_ = folder;
  decodeFolder_ = folder;
}

void OptionsModel::chooseDecodeFolder(const std::string& folder) {
  decodeFolder_ = folder;
}

void OptionsModel::setCutByTime(bool on) {
  cutByTime_ = on;
  if (on) {
    minutes_ = kCutMinutesWhenChecked;
    mib_ = 0;
    cutBySize_ = false;
  } else {
    minutes_ = 0;
  }
}

void OptionsModel::setCutBySize(bool on) {
  cutBySize_ = on;
  if (on) {
    mib_ = kCutMibWhenChecked;
    minutes_ = 0;
    cutByTime_ = false;
  } else {
    mib_ = kMaxCutMib;
  }
}

void OptionsModel::setUseProfileFile(bool on) {
  useProfileFile_ = on;
  if (!on) profilePath_.clear();
}

bool OptionsModel::chooseProfileFile(const std::string& path) {
  if (!isProfileFile(path)) {
    showNotAProfileFile(ui_);
    return false;
  }
  profilePath_ = path;
  useProfileFile_ = true;
  return true;
}

std::optional<Settings> OptionsModel::ok(const Settings& current, const std::string& currentFolder,
                                         std::string* problem) const {
  const auto range = [&](long v, long max) {
    if (v >= 0 && v <= max) return true;
    if (problem) *problem = lang::format(TextId::WholeNumberRange, {0, max});
    return false;
  };
  if (!range(minutes_, kMaxCutMinutes) || !range(mib_, kMaxCutMib)) return std::nullopt;
  Settings r = current;
  if (const auto link = linkFromChoice(linkIndex_, current.baud)) {
    r.port = link->port;
    r.baud = link->speed;
  }
  r.downloadFolder = downloadFolder_.empty() ? currentFolder : downloadFolder_;
  r.decryptFolder = decodeFolder_.empty() ? currentFolder : decodeFolder_;
  r.profileIni = useProfileFile_ ? profilePath_ : std::string();
  r.acceleration = accelerationFromExponent(exponent_);
  r.autoDecrypt = autoDecode_;
  r.waveCutTime = static_cast<std::uint16_t>(minutes_);
  r.waveCutSize = static_cast<std::uint16_t>(mib_);
  return r;
}

bool writeOptionsResult(SettingsFile& file, const Settings& result, std::string* error) {
  return saveOptions(file, result, error);
}

void runFirstRunProfileChoice(Settings& settings, SettingsFile& file, ports::UserInterface& ui,
                              const std::string& programFolderWithSlash, std::function<void(bool)> done) {
  ports::TextQuestion q;
  q.topic = ports::Topic::ProfileFile;
  q.kind = ports::TextKind::ExistingFile;
  q.caption = lang::text(TextId::ChooseProfileFile);
  q.prompt = q.caption;
  const std::string kind = lang::text(TextId::ProfileFiles);
  q.filter = lang::formatText("%s (*.ini)", {kind});
  q.initial = programFolderWithSlash + kind;
  ui.askText(q, [&settings, &file, &ui, done](const std::optional<std::string>& chosen) {
    std::string value;
    if (chosen && !chosen->empty()) {
      if (isProfileFile(*chosen))
        value = *chosen;
      else
        showNotAProfileFile(ui);
    }
    settings.profileIni = value;
    const bool saved = saveProfileIni(file, value);
    if (done) done(saved);
  });
}

}  // namespace recdesk::app
