#pragma once
// The program's settings as the rest of the core reads them: every key of the settings file with its
// default, loaded and repaired once at start, written back key by key when something changes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace recdesk::app {

class SettingsFile;

struct Settings {
  // "Options"
  std::string profileIni = "NOINIT";  // "NOINIT" = never asked; empty = no profile file; else a path
  std::int16_t port = 0;              // 0 none, 1..999 serial, 1000 FTDI, 2000 QuickUSB
  std::uint32_t baud = 2000000;       // 115200, 1000000, 2000000 or 3000000
  std::uint16_t acceleration = 8;     // pages per block request (a power of two, 1..256)
  bool autoDecrypt = true;            // convert each finished download to WAV
  std::uint16_t waveCutTime = 0;      // minutes per WAV part, 0 = no cut by time
  std::uint16_t waveCutSize = 0;      // MiB per WAV part, 0 = no cut by size
  std::string downloadFolder;
  std::string decryptFolder;
  bool ignoreRtc = false;
  bool restrictionsActive = false;    // "Active"
  std::uint32_t restrictionMask = 0;  // "Config"
  std::string restrictionPassword;    // "RPW"
  std::string pinTable;               // "PinTable": the file of the recorder maker's PIN response table
  // "MainWindow"
  int mainLeft = 0, mainTop = 0, mainWidth = 250, mainHeight = 400;
  bool transmitterMenu = true;        // "LastTolvik7Config"
  std::string filePrefix = "Default";
  // "CommsLog"
  bool commsLogDisplay = false;
  int logLeft = 50, logTop = 50, logWidth = 345, logHeight = 480;

  bool profileNotChosenYet() const { return profileIni == "NOINIT"; }
  // True when start-up must open the Options dialog (no link or a folder not configured).
  bool needsOptions() const { return port == 0 || downloadFolder.empty() || decryptFolder.empty(); }
};

// Section and key names of the settings file.
namespace keys {
inline constexpr const char* kOptions = "Options";
inline constexpr const char* kMainWindow = "MainWindow";
inline constexpr const char* kCommsLog = "CommsLog";
inline constexpr const char* kDeviceProfiles = "Device Profiles";
inline constexpr const char* kDeviceProfilesFor = "Device Profiles for ";  // + device type
inline constexpr const char* kProfileIni = "ProfileIni";
inline constexpr const char* kPort = "Port";
inline constexpr const char* kBaud = "Baud";
inline constexpr const char* kAcceleration = "Acceleration";
inline constexpr const char* kAutoDecrypt = "AutoDecrypt";
inline constexpr const char* kWaveCutTime = "WaveCutTime";
inline constexpr const char* kWaveCutSize = "WaveCutSize";
inline constexpr const char* kDownloadFolder = "DownloadFolder";
inline constexpr const char* kDecryptFolder = "DecryptFolder";
inline constexpr const char* kIgnoreRtc = "IgnoreRTC";
inline constexpr const char* kActive = "Active";
inline constexpr const char* kConfig = "Config";
inline constexpr const char* kRpw = "RPW";
inline constexpr const char* kPinTable = "PinTable";
inline constexpr const char* kLeft = "Left";
inline constexpr const char* kTop = "Top";
inline constexpr const char* kWidth = "Width";
inline constexpr const char* kHeight = "Height";
inline constexpr const char* kLastTolvik7Config = "LastTolvik7Config";
inline constexpr const char* kFilePrefix = "FilePrefix";
inline constexpr const char* kDisplay = "Display";
inline constexpr const char* kNoInit = "NOINIT";
}  // namespace keys

// The settings file's default place: "$XDG_CONFIG_HOME/recdesk/" (else "~/.config/recdesk/") followed
// by the language's text TextId::SettingsFileName. A text that is not a plain file name gives
// "recdesk.ini".
std::filesystem::path defaultSettingsPath();

// What loading found and repaired.
struct LoadResult {
  Settings settings;
  bool portRepaired = false;      // "Port" had its low 16 bits all ones: 1000 written back
  bool baudRepaired = false;      // "Baud" was not a link speed: 1000000 written back
  bool cutValuesDropped = false;  // both cut values were set: both 0 in memory, the file keeps them
  std::string storedPort;         // the stored texts that were repaired
  std::string storedBaud;
  std::vector<std::string> noIntegers;  // "Section.Key" of integer keys that hold no integer (read as 0)
  std::string writeBackError;     // empty when the repairs were saved (or nothing needed saving)
  std::string readProblem;        // the file could not be read as a whole (see SettingsFile)
};

// Reads every key with its default and applies the start-up repairs; "Port" and "Baud" repairs are
// written back. "Acceleration" is kept as read (its users normalise it); 16-bit values keep their low
// 16 bits, "Config" its low 32 bits. "AutoDecrypt" is on only when it is exactly 1; the other flags
// are on when non-zero. An integer key whose value holds no integer ("abc", empty) reads as 0, not as
// its default: a "Baud" of "abc" is repaired like any other wrong speed and such a flag is off.
LoadResult loadSettings(SettingsFile& file);

// Every effective value as "Section.Key" and its text, in the order of the key table.
std::vector<std::pair<std::string, std::string>> settingsAsText(const Settings& settings);

// The writes. Each saves atomically and returns false with a sentence in `error` when it could not.
// Main window close: "LastTolvik7Config" and "FilePrefix"; with `placement` also "Left", "Top",
// "Width" and "Height" (not written while the window is minimised).
bool saveMainWindow(SettingsFile& file, const Settings& settings, bool placement, std::string* error = nullptr);
// Port change and speed confirmation: "Port" and "Baud".
bool saveLink(SettingsFile& file, std::int16_t port, std::uint32_t baud, std::string* error = nullptr);
// Options OK: "ProfileIni", "DownloadFolder", "DecryptFolder", "Acceleration", "AutoDecrypt",
// "WaveCutTime" and "WaveCutSize".
bool saveOptions(SettingsFile& file, const Settings& settings, std::string* error = nullptr);
// First-run choice of the profile file ("" = none).
bool saveProfileIni(SettingsFile& file, const std::string& profileIni, std::string* error = nullptr);
// Clock-difference dialog: "IgnoreRTC".
bool saveIgnoreRtc(SettingsFile& file, bool ignore, std::string* error = nullptr);
// Access restrictions: "Active", "Config" and "RPW".
bool saveRestrictions(SettingsFile& file, const Settings& settings, std::string* error = nullptr);
// Communications log: "Display" alone, or "Display" with the window's "Left", "Top", "Width", "Height".
bool saveCommsLogDisplay(SettingsFile& file, bool display, std::string* error = nullptr);
bool saveCommsLog(SettingsFile& file, const Settings& settings, std::string* error = nullptr);

}  // namespace recdesk::app
