#pragma once
// The device profile editor: the profiles in a drop-down, the recording settings the connected device
// type offers, the gain, the recording time they give and Delete / Save / Save as / Close. It draws
// app::ProfileEditor and forwards every change to it; the model decides what is offered, enabled and
// saved. The editor works on its own copy of the profile list, so the session may reload the main
// window's list meanwhile; the caller takes store() when the dialog has finished.
#include <QDialog>
#include <cstdint>
#include <memory>

#include "app/ProfileEditor.h"
#include "app/ProfileStore.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace recdesk::gui {

class ProfileEditorPrompts;

class ProfileEditorDialog : public QDialog {
  Q_OBJECT
 public:
  // `currentItem` is the main window's drop-down position.
  ProfileEditorDialog(app::ProfileStore list, int deviceType, std::uint64_t freeBlocks, int currentItem,
                      QWidget* parent = nullptr);
  ~ProfileEditorDialog() override;

  const app::ProfileEditor& model() const { return *model_; }
  // The list as edited.
  const app::ProfileStore& store() const { return store_; }
  ProfileEditorPrompts& prompts() const { return *prompts_; }

  QComboBox* profileBox() const { return profile_; }
  QLabel* deviceLabel() const { return device_; }
  QComboBox* rateBox() const { return rate_; }
  QComboBox* bitsBox() const { return bits_; }
  QComboBox* channelsBox() const { return channels_; }
  QCheckBox* autoGainBox() const { return autoGain_; }
  QSlider* gainSlider() const { return slider_; }
  QLineEdit* gainValue() const { return gainValue_; }
  QLabel* estimateLabel() const { return estimate_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* saveAsButton() const { return saveAs_; }
  QPushButton* closeButton() const { return close_; }

 private:
  QWidget* buildSettings();
  QWidget* buildGain();
  void connectControls();
  // Draws the model into every control.
  void draw();
  void saveAs();

  app::ProfileStore store_;
  std::unique_ptr<ProfileEditorPrompts> prompts_;
  std::unique_ptr<app::ProfileEditor> model_;
  QComboBox* profile_;
  QLabel* device_;
  QComboBox* rate_ = nullptr;
  QComboBox* bits_ = nullptr;
  QComboBox* channels_ = nullptr;
  QCheckBox* autoGain_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* lowest_ = nullptr;
  QLabel* highest_ = nullptr;
  QLineEdit* gainValue_ = nullptr;
  QLabel* estimate_;
  QPushButton* delete_;
  QPushButton* save_;
  QPushButton* saveAs_;
  QPushButton* close_;
};

}  // namespace recdesk::gui
