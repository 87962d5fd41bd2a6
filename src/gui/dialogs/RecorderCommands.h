#pragma once
// The recorder's maintenance, transmitter, password and PIN commands of the desktop program, and
// the level preview in the level display: the menu commands it handles, the windows it draws (made
// on first use, hidden rather than destroyed, disabled while the link is down) and the operations
// behind them. Everything the user is asked is asked without blocking: answers come back through
// the windows' signals and the operations' callbacks.
#include <QObject>
#include <memory>

#include "operations/LevelPreview.h"
#include "operations/Maintenance.h"
#include "operations/Password.h"
#include "operations/PinUnlock.h"
#include "operations/Transmitter.h"

namespace recdesk::gui {

class GuiSession;
class MainWindow;
class MaintenanceProgressWindow;
class PasswordDialog;
class PinDialog;
class TransmitterDialog;
class WaveformView;

class RecorderCommands : public QObject,
                         public session::SessionObserver,
                         public operations::MaintenanceListener,
                         public operations::LevelPreviewListener,
                         public operations::TransmitterListener,
                         public operations::PasswordListener,
                         public operations::PinUnlockListener {
  Q_OBJECT
 public:
  RecorderCommands(GuiSession& session, MainWindow& window, WaveformView& waveform);
  ~RecorderCommands() override;

  // Runs a menu command of this class; false when it is not one.
  bool handle(int command);

  // The windows (null until first used), for the tests and the screenshot tool.
  MaintenanceProgressWindow* progressWindow() const { return progress_; }
  TransmitterDialog* transmitterDialog() const { return transmitter_; }
  PasswordDialog* passwordDialog() const { return password_; }
  PinDialog* pinDialog() const { return pin_; }
  operations::Transmitter& transmitter() { return *tx_; }
  operations::PasswordChange& passwordChange() { return *pwd_; }
  operations::PinUnlock& pinUnlock() { return *unlock_; }

  // SessionObserver
  void onState(const session::SessionState& state) override;
  void onSessionReset() override;
  // MaintenanceListener
  void onMaintenanceProgress(const operations::MaintenanceProgress& progress) override;
  void onLedMode(int mode) override;
  // LevelPreviewListener
  void onPreviewProgress(std::uint32_t pagesDone, std::uint32_t pagesToSample) override;
  void onPreviewFinished(const operations::LevelPreviewResult& result) override;
  // TransmitterListener
  void onTransmitterShown() override;
  void onTransmitterChanged() override;
  void onFrequencyRefused() override;
  void onTransmitterClosed() override;
  // PasswordListener
  void onPasswordForm(operations::PasswordForm::Kind kind) override;
  // PinUnlockListener
  void onPinPrompt(const operations::PinPrompt& prompt) override;
  void onPinSent() override;

 private:
  void information(const std::string& text, TextId caption);
  void waveformClicked();
  void linkState(bool up);

  GuiSession& session_;
  MainWindow& window_;
  WaveformView& waveform_;
  std::unique_ptr<operations::Transmitter> tx_;
  std::unique_ptr<operations::PasswordChange> pwd_;
  std::unique_ptr<operations::PinUnlock> unlock_;
  MaintenanceProgressWindow* progress_ = nullptr;
  TransmitterDialog* transmitter_ = nullptr;
  PasswordDialog* password_ = nullptr;
  PinDialog* pin_ = nullptr;
  bool linkUp_ = false;
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace recdesk::gui
