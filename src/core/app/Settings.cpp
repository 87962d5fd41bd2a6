#include "app/Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <limits>

#include "app/SettingsFile.h"
#include "lang/Strings.h"

namespace recdesk::app {

namespace {

constexpr const char* kFallbackFileName = "recdesk.ini";

bool plainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::filesystem::path configHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::filesystem::path(home) / ".config";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return std::filesystem::path(pw->pw_dir) / ".config";
  return ".config";
}

// The low 16 bits of a stored value, as the 16-bit fields hold them.
std::uint16_t low16(std::int64_t v) { return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v) & 0xFFFFu); }

int toInt(std::int64_t v) {
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

bool isLinkSpeed(std::int64_t v) { return v == 115200 || v == 1000000 || v == 2000000 || v == 3000000; }

std::string num(std::int64_t v) { return std::to_string(v); }

using Change = SettingsFile::Change;

}  // namespace

std::filesystem::path defaultSettingsPath() {
  std::string name = lang::text(TextId::SettingsFileName);
  if (!plainFileName(name)) name = kFallbackFileName;
  return configHome() / "recdesk" / name;
}

LoadResult loadSettings(SettingsFile& file) {
  using namespace keys;
  LoadResult r;
  Settings& s = r.settings;
  const Settings defaults;
  const SettingsFile::HeldRead held(file);  // every key from one reading of the file
  r.readProblem = file.readProblem();
  // Every integer key goes through here, so that a value holding no integer is noted.
  const auto readInteger = [&](const char* section, const char* key, std::int64_t defaultValue) {
    bool noInteger = false;
    const std::int64_t value = file.readInt(section, key, defaultValue, noInteger);
    if (noInteger) r.noIntegers.push_back(std::string(section) + "." + key);
    return value;
  };

  s.profileIni = file.readText(kOptions, kProfileIni, kNoInit);

  std::vector<Change> repairs;
  const std::int64_t port = readInteger(kOptions, kPort, defaults.port);
  if (low16(port) == 0xFFFF) {
    s.port = 1000;
    r.portRepaired = true;
    r.storedPort = file.readText(kOptions, kPort, "");
    repairs.push_back({kOptions, kPort, num(1000)});
  } else {
    s.port = static_cast<std::int16_t>(low16(port));
  }

  const std::int64_t baud = readInteger(kOptions, kBaud, defaults.baud);
  s.acceleration = low16(readInteger(kOptions, kAcceleration, defaults.acceleration));
  s.autoDecrypt = readInteger(kOptions, kAutoDecrypt, 1) == 1;
  s.waveCutTime = low16(readInteger(kOptions, kWaveCutTime, defaults.waveCutTime));
  s.waveCutSize = low16(readInteger(kOptions, kWaveCutSize, defaults.waveCutSize));
  s.downloadFolder = file.readText(kOptions, kDownloadFolder, "");
  s.decryptFolder = file.readText(kOptions, kDecryptFolder, "");

  if (s.waveCutTime != 0 && s.waveCutSize != 0) {
    s.waveCutTime = 0;
    s.waveCutSize = 0;
    r.cutValuesDropped = true;
  }
  if (isLinkSpeed(baud)) {
    s.baud = static_cast<std::uint32_t>(baud);
  } else {
    s.baud = 1000000;
    r.baudRepaired = true;
    r.storedBaud = file.readText(kOptions, kBaud, "");
    repairs.push_back({kOptions, kBaud, num(1000000)});
  }

  s.transmitterMenu = readInteger(kMainWindow, kLastTolvik7Config, 1) != 0;
  s.filePrefix = file.readText(kMainWindow, kFilePrefix, defaults.filePrefix);
  s.mainLeft = toInt(readInteger(kMainWindow, kLeft, defaults.mainLeft));
  s.mainTop = toInt(readInteger(kMainWindow, kTop, defaults.mainTop));
  s.mainWidth = toInt(readInteger(kMainWindow, kWidth, defaults.mainWidth));
  s.mainHeight = toInt(readInteger(kMainWindow, kHeight, defaults.mainHeight));

  s.ignoreRtc = readInteger(kOptions, kIgnoreRtc, 0) != 0;
  s.restrictionMask = static_cast<std::uint32_t>(static_cast<std::uint64_t>(readInteger(kOptions, kConfig, 0)));
  s.restrictionPassword = file.readText(kOptions, kRpw, "");
  s.pinTable = file.readText(kOptions, kPinTable, "");
  s.restrictionsActive = readInteger(kOptions, kActive, 0) != 0;

  s.commsLogDisplay = readInteger(kCommsLog, kDisplay, 0) != 0;
  s.logLeft = toInt(readInteger(kCommsLog, kLeft, defaults.logLeft));
  s.logTop = toInt(readInteger(kCommsLog, kTop, defaults.logTop));
  s.logWidth = toInt(readInteger(kCommsLog, kWidth, defaults.logWidth));
  s.logHeight = toInt(readInteger(kCommsLog, kHeight, defaults.logHeight));

  if (!repairs.empty()) file.write(repairs, &r.writeBackError);
  return r;
}

std::vector<std::pair<std::string, std::string>> settingsAsText(const Settings& s) {
  auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
  // The texts are moved into the result: from a braced list they would all be copied.
  std::pair<std::string, std::string> items[] = {
      {"Options.ProfileIni", s.profileIni},
      {"Options.Port", num(s.port)},
      {"Options.Baud", num(s.baud)},
      {"Options.Acceleration", num(s.acceleration)},
      {"Options.AutoDecrypt", flag(s.autoDecrypt)},
      {"Options.WaveCutTime", num(s.waveCutTime)},
      {"Options.WaveCutSize", num(s.waveCutSize)},
      {"Options.DownloadFolder", s.downloadFolder},
      {"Options.DecryptFolder", s.decryptFolder},
      {"Options.IgnoreRTC", flag(s.ignoreRtc)},
      {"Options.Active", flag(s.restrictionsActive)},
      {"Options.Config", num(s.restrictionMask)},
      {"Options.RPW", s.restrictionPassword},
      {"Options.PinTable", s.pinTable},
      {"MainWindow.Left", num(s.mainLeft)},
      {"MainWindow.Top", num(s.mainTop)},
      {"MainWindow.Width", num(s.mainWidth)},
      {"MainWindow.Height", num(s.mainHeight)},
      {"MainWindow.LastTolvik7Config", flag(s.transmitterMenu)},
      {"MainWindow.FilePrefix", s.filePrefix},
      {"CommsLog.Display", flag(s.commsLogDisplay)},
      {"CommsLog.Left", num(s.logLeft)},
      {"CommsLog.Top", num(s.logTop)},
      {"CommsLog.Width", num(s.logWidth)},
      {"CommsLog.Height", num(s.logHeight)},
  };
  return {std::make_move_iterator(std::begin(items)), std::make_move_iterator(std::end(items))};
}

bool saveMainWindow(SettingsFile& file, const Settings& s, bool placement, std::string* error) {
  using namespace keys;
  std::vector<Change> c{{kMainWindow, kLastTolvik7Config, num(s.transmitterMenu ? 1 : 0)},
                        {kMainWindow, kFilePrefix, s.filePrefix}};
  if (placement) {
    c.push_back({kMainWindow, kLeft, num(s.mainLeft)});
    c.push_back({kMainWindow, kTop, num(s.mainTop)});
    c.push_back({kMainWindow, kWidth, num(s.mainWidth)});
    c.push_back({kMainWindow, kHeight, num(s.mainHeight)});
  }
  return file.write(c, error);
}

bool saveLink(SettingsFile& file, std::int16_t port, std::uint32_t baud, std::string* error) {
  using namespace keys;
  return file.write({{kOptions, kPort, num(port)}, {kOptions, kBaud, num(baud)}}, error);
}

bool saveOptions(SettingsFile& file, const Settings& s, std::string* error) {
  using namespace keys;
  return file.write({{kOptions, kProfileIni, s.profileIni},
                     {kOptions, kDownloadFolder, s.downloadFolder},
                     {kOptions, kDecryptFolder, s.decryptFolder},
                     {kOptions, kAcceleration, num(s.acceleration)},
                     {kOptions, kAutoDecrypt, num(s.autoDecrypt ? 1 : 0)},
                     {kOptions, kWaveCutTime, num(s.waveCutTime)},
                     {kOptions, kWaveCutSize, num(s.waveCutSize)}},
                    error);
}

bool saveProfileIni(SettingsFile& file, const std::string& profileIni, std::string* error) {
  return file.writeText(keys::kOptions, keys::kProfileIni, profileIni, error);
}

bool saveIgnoreRtc(SettingsFile& file, bool ignore, std::string* error) {
  return file.writeInt(keys::kOptions, keys::kIgnoreRtc, ignore ? 1 : 0, error);
}

bool saveRestrictions(SettingsFile& file, const Settings& s, std::string* error) {
  using namespace keys;
  return file.write({{kOptions, kActive, num(s.restrictionsActive ? 1 : 0)},
                     {kOptions, kConfig, num(s.restrictionMask)},
                     {kOptions, kRpw, s.restrictionPassword}},
                    error);
}

bool saveCommsLogDisplay(SettingsFile& file, bool display, std::string* error) {
  return file.writeInt(keys::kCommsLog, keys::kDisplay, display ? 1 : 0, error);
}

bool saveCommsLog(SettingsFile& file, const Settings& s, std::string* error) {
  using namespace keys;
  return file.write({{kCommsLog, kDisplay, num(s.commsLogDisplay ? 1 : 0)},
                     {kCommsLog, kLeft, num(s.logLeft)},
                     {kCommsLog, kTop, num(s.logTop)},
                     {kCommsLog, kWidth, num(s.logWidth)},
                     {kCommsLog, kHeight, num(s.logHeight)}},
                    error);
}

}  // namespace recdesk::app
