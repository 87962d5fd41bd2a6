#pragma once
// The list of device profiles the main window offers: loaded from the settings file, the profile file
// or the built-in list by the connected device, saved back per device type, with the selection, the
// temporary entry that names recorder settings no profile matches, and the reselection rules after the
// profile editor and after the Options.
//
// The drop-down holds the temporary entry first (item data −1) when it has a name, then every profile
// (item data = its position in the list).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Profile.h"

namespace recdesk::app {

class SettingsFile;

// What the store needs to know of the connected device.
struct ConnectedDevice {
  bool connected = false;
  int type = device_type::kAny;  // from the version reply
  bool reduced = false;          // the reduced recorder variant: built-in list only
  std::uint16_t subModel = 0;    // its variant number
};

class ProfileStore {
 public:
  static constexpr int kTemporary = -1;

  struct Item {
    std::string text;
    int data;  // kTemporary, or the position in the list
  };

  // Rebuilds the list: the built-in list for the reduced recorder; otherwise the type sections (the
  // connected type's, or with no device all three), the general section and the profile file (when
  // `profileIni` names one). Lines of another type are left out while a device is connected. The first
  // item is selected; the temporary entry is dropped.
  void load(const SettingsFile& settings, const std::string& profileIni, const ConnectedDevice& device);
  // Writes every user profile under its type's section, numbered from 0, with "NumProfiles" of each
  // section read or written. Lines that were not loaded (another type, unreadable) are kept in front.
  // All keys in one atomic save; false with a sentence in `error` when it failed.
  bool save(SettingsFile& settings, std::string* error = nullptr) const;

  const std::vector<DeviceProfile>& profiles() const { return list_; }
  std::vector<DeviceProfile>& profiles() { return list_; }
  // The temporary entry (its name is empty when there is none).
  const DeviceProfile& temporary() const { return temporary_; }
  DeviceProfile& temporary() { return temporary_; }
  bool hasTemporary() const { return !temporary_.name.empty(); }
  void dropTemporary() { temporary_ = DeviceProfile{}; }

  std::vector<Item> items() const;
  // The selected item's data (kTemporary or a list position); nothing when nothing is selected.
  std::optional<int> selected() const { return selected_; }
  // The selected item's position in items().
  int selectedItem() const;
  void selectItem(int position);
  void selectData(std::optional<int> data) { selected_ = data; }
  // The selected profile (the temporary entry for kTemporary).
  const DeviceProfile* selectedProfile() const;
  // The name the main window shows (text 1147) and its tooltip.
  std::string selectedName() const;
  const std::string& tooltip() const { return tooltip_; }

  // The recorder uses these values (its type reply): keep the selection when it matches, else select
  // the first matching profile, else fill and select the temporary entry. A gain above 32 counts as 32.
  void selectBySettings(RecordingValues values);
  // The reduced recorder reports its profile by name ("_" for blanks).
  void selectByName(const std::string& reported);
  // By its name (exact); false when there is none.
  bool selectByProfileName(const std::string& name);

  // The values of the item whose text is `name` (the main window's text 1147), if any.
  std::optional<RecordingValues> valuesNamed(const std::string& name) const;

  // After the Options: `remembered` are the values of the profile shown before the reload; with a
  // recorder connected they are selected again.
  void reselectAfterOptions(const std::optional<RecordingValues>& remembered, bool recorderConnected);
  // After the editor (list saved and reloaded already): `shownName` and `remembered` were the main
  // window's profile before, `editorName` the editor's selection when it closed.
  void reselectAfterEditor(const std::string& shownName, const std::optional<RecordingValues>& remembered,
                           bool sessionRunning, const std::string& editorName);

  const ConnectedDevice& device() const { return device_; }

 private:
  void updateTooltip(const RecordingValues& v);

  std::vector<DeviceProfile> list_;
  DeviceProfile temporary_;
  std::optional<int> selected_;
  std::string tooltip_;
  ConnectedDevice device_;
  // Sections read at the last load, with the lines that were not taken from them.
  std::vector<std::pair<std::string, std::vector<std::string>>> readSections_;
};

// "Recorder setting: Mono:8000.4.Gain: auto": the temporary entry's name for values no profile has.
std::string temporaryProfileName(const RecordingValues& values);
// "Mono:8000,4,bits Gain - auto": the description shown as the selected profile's tooltip.
std::string profileDescription(const RecordingValues& values);

}  // namespace recdesk::app
