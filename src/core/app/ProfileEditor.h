#pragma once
// The profile editor as a model: what it offers for the connected device type, the profile shown, the
// values being edited, the recording-time estimate, the buttons' states, and delete / save / save as.
// It edits the ProfileStore's list in place; the caller saves and reloads when the editor closes
// (ProfileStore::reselectAfterEditor). Questions (a new name, overwrite an existing profile) go through
// the user interface; their answers may come later.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Profile.h"
#include "app/ProfileStore.h"
#include "lang/TextId.h"

namespace recdesk::ports {
class UserInterface;
}

namespace recdesk::app {

class SettingsFile;

// The range of a fixed gain (0 is the automatic gain).
inline constexpr int kLowestFixedGain = 1;
inline constexpr int kHighestFixedGain = 32;

// What the editor offers for a device type.
struct ProfileOffer {
  std::vector<std::int32_t> rates;
  std::vector<std::int16_t> bits;
  std::vector<std::int16_t> channels;
  bool gainAdjustable = true;  // false: the slider stays at 1, the gain controls are disabled
  TextId typeLabel = TextId::AnyDevice;
};
ProfileOffer profileOffer(int deviceType);

// Seconds of recording that fit in `freeBlocks` with these values (unsigned integer arithmetic);
// nothing when rate or bits are 0.
std::optional<std::uint64_t> profileEstimateSeconds(std::uint64_t freeBlocks, const RecordingValues& values);
// "Recording time: 00:02:07".
std::string profileEstimateText(std::uint64_t freeBlocks, const RecordingValues& values);

// A name as the name box takes it: every colon removed.
std::string withoutColons(std::string_view name);
// Blanks at both ends removed.
std::string trimBlanks(std::string_view name);
// Whether a typed name can be saved: something is left once colons and blanks at the ends are gone
// (the name box's OK follows it).
bool profileNameAcceptable(std::string_view typed);

class ProfileEditor {
 public:
  struct Buttons {
    bool remove = false;
    bool save = false;
    bool saveAs = true;
  };

  // `currentItem` is the main window's drop-down position.
  ProfileEditor(ProfileStore& store, ports::UserInterface& ui, int deviceType, std::uint64_t freeBlocks,
                int currentItem);

  const ProfileOffer& offer() const { return offer_; }
  std::vector<ProfileStore::Item> items() const;
  int selectedItem() const { return item_; }
  void selectItem(int position);

  // The values in the controls.
  const RecordingValues& values() const { return values_; }
  // Positions of the values in the offer (-1 when the value is not offered).
  int rateIndex() const;
  int bitsIndex() const;
  int channelsIndex() const;
  bool autoGain() const { return values_.gain == 0; }
  // The slider's position (1 for automatic gain) and whether the gain slider and edit are enabled.
  int sliderPosition() const;
  bool gainControlsEnabled() const { return offer_.gainAdjustable && !autoGain(); }
  bool autoGainEnabled() const { return offer_.gainAdjustable; }

  void setRateIndex(int index);
  void setBitsIndex(int index);
  void setChannelsIndex(int index);
  void setAutoGain(bool on);
  void setGain(int gain);  // limited to kLowestFixedGain..kHighestFixedGain
  // All four values at once, as a front end without controls takes them. False, changing nothing,
  // when a value is not offered for the device type (a gain of 0..32 always is).
  bool setValues(const RecordingValues& values);

  bool modified() const { return modified_; }
  std::string closeCaption() const;
  std::string estimateText() const { return profileEstimateText(freeBlocks_, values_); }
  Buttons buttons() const;

  void deleteSelected();
  void save();
  // Asks for a name (prefilled with the selected user profile's) and stores the values under it;
  // `done` is told whether anything changed.
  void saveAs(std::function<void(bool changed)> done = {});
  // Stores the values under a typed name: what saveAs does with the answer (colons removed, blanks
  // trimmed). A read-only name is refused with a message and asked again; an existing user profile
  // is overwritten after the user agrees.
  void saveAsNamed(const std::string& typedName, std::function<void(bool changed)> done);

  // The selected item's text, remembered when the editor closes (empty when there is no item).
  std::string closeName() const;

 private:
  const DeviceProfile* selected() const;
  DeviceProfile* selectedMutable();
  int dataAt(int position) const;
  void show();
  void changed();
  void askName(std::function<void(bool)> done);
  void addNew(const std::string& name);

  ProfileStore& store_;
  ports::UserInterface& ui_;
  int deviceType_;
  std::uint64_t freeBlocks_;
  ProfileOffer offer_;
  int item_ = -1;
  RecordingValues values_;
  std::string tempLabel_;  // the temporary entry's text in the editor's drop-down
  int lastFixedGain_ = 1;
  bool modified_ = false;
};

// When the editor has closed: `shownName` / `shownValues` were the main window's profile before the
// editor opened, `editorName` the editor's closeName(). Saves the user profiles, reloads and selects
// again. When the save fails the list stays as edited (a sentence in `error`) and nothing is reloaded.
void finishProfileEditor(ProfileStore& store, SettingsFile& settings, const std::string& profileIni,
                         const ConnectedDevice& device, bool sessionRunning, const std::string& shownName,
                         const std::optional<RecordingValues>& shownValues, const std::string& editorName,
                         std::string* error = nullptr);

}  // namespace recdesk::app
