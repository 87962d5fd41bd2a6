#pragma once
// The Options dialog as a model: the values it shows, which controls are enabled, what each action
// changes, and the validation of OK, which gives the new settings. The first-run choice of the profile
// file. Writing the Options keys happens here too; what the running session does with the result
// (new port, new speed, block size, profiles) is the apply step (operations/OptionsApply.h).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/Settings.h"
#include "lang/TextId.h"

namespace recdesk::ports {
class UserInterface;
}

namespace recdesk::app {

class SettingsFile;

inline constexpr int kMaxCutMinutes = 6000;
inline constexpr int kMaxCutMib = 2047;
inline constexpr int kCutMinutesWhenChecked = 72;
inline constexpr int kCutMibWhenChecked = 640;

// The default folders when one is not configured at start: "$XDG_DATA_HOME/recdesk/download" and
// ".../decode" (else "~/.local/share/recdesk/...").
std::filesystem::path defaultDownloadFolder();
std::filesystem::path defaultDecodeFolder();
// At start, a folder that is empty becomes its default folder (offered for the user to confirm in
// the Options); a configured folder stays. True when one was set.
bool presetDefaultFolders(Settings& settings);

class OptionsModel {
 public:
  // Opening: the dialog shows `s`.
  OptionsModel(const Settings& s, ports::UserInterface& ui);

  // ---- values ----
  int linkIndex() const { return linkIndex_; }
  const std::string& downloadFolder() const { return downloadFolder_; }
  const std::string& decodeFolder() const { return decodeFolder_; }
  bool autoDecode() const { return autoDecode_; }
  bool cutByTime() const { return cutByTime_; }
  long minutes() const { return minutes_; }
  bool cutBySize() const { return cutBySize_; }
  long mib() const { return mib_; }
  bool useProfileFile() const { return useProfileFile_; }
  const std::string& profilePath() const { return profilePath_; }
  int exponent() const { return exponent_; }

  // ---- enabled controls ----
  bool accelerationEnabled() const { return accelerationEnabled_; }
  bool minutesEnabled() const { return cutByTime_; }
  bool mibEnabled() const { return cutBySize_; }
  bool profilePathEnabled() const { return useProfileFile_; }

  // ---- actions ----
  void setLinkIndex(int index);  // a change enables the block size for entries 0..3 only
  void setExponent(int exponent);
  void chooseDownloadFolder(const std::string& folder);  // becomes the decode folder too
  void chooseDecodeFolder(const std::string& folder);
  void setAutoDecode(bool on) { autoDecode_ = on; }
  void setCutByTime(bool on);                            // on: 72 minutes, size off; off: 0
  void setCutBySize(bool on);                            // on: 640 MiB, time off; off: 2047
  void setMinutes(long minutes) { minutes_ = minutes; }  // the edit boxes: checked at OK
  void setMib(long mib) { mib_ = mib; }
  void setUseProfileFile(bool on);  // off empties the path
  // A chosen profile file: refused with message 57713 when it has no "Profiles" "NumProfiles" (the
  // path stays). True when taken.
  bool chooseProfileFile(const std::string& path);

  // OK: nothing (and the text of the problem in `problem`) when an edit box is out of range; else the
  // new settings: the link by the choice table (entry 0 keeps the speed), empty folders replaced by
  // `currentFolder`, the block count 2^exponent, the cut values as shown (an unchecked cut is 0 for
  // time and as shown for size, which the conversion never exceeds).
  std::optional<Settings> ok(const Settings& current, const std::string& currentFolder,
                             std::string* problem) const;

 private:
  ports::UserInterface& ui_;
  int linkIndex_ = 0;
  std::string downloadFolder_, decodeFolder_;
  bool autoDecode_ = false;
  bool cutByTime_ = false, cutBySize_ = false;
  long minutes_ = 0, mib_ = kMaxCutMib;
  bool useProfileFile_ = false;
  std::string profilePath_;
  int exponent_ = 3;
  bool accelerationEnabled_ = true;
};

// Writes the keys Options OK writes ("ProfileIni", "DownloadFolder", "DecryptFolder", "Acceleration",
// "AutoDecrypt", "WaveCutTime", "WaveCutSize"; never "Port" or "Baud").
bool writeOptionsResult(SettingsFile& file, const Settings& result, std::string* error = nullptr);

// The first-run choice: "ProfileIni" is "NOINIT". Asks for a profile file (the answer may come
// later); a file without "Profiles" "NumProfiles" is refused with message 57713 and no file is used;
// a cancel means no file. Either way "ProfileIni" is written (so the choice is offered once) and
// `done` gets the value stored in `settings`.
void runFirstRunProfileChoice(Settings& settings, SettingsFile& file, ports::UserInterface& ui,
                              const std::string& programFolderWithSlash,
                              std::function<void(bool saved)> done = {});

}  // namespace recdesk::app
