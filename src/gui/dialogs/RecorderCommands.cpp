#include "dialogs/RecorderCommands.h"

#include <QAction>
#include <QLabel>

#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "window/MainWindow.h"
#include "window/WindowEnabling.h"
#include "dialogs/MaintenanceProgressWindow.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/PinDialog.h"
#include "dialogs/TransmitterDialog.h"
#include "controls/WaveformView.h"
#include "operations/DownloadMath.h"

namespace recdesk::gui {

RecorderCommands::RecorderCommands(GuiSession& session, MainWindow& window, WaveformView& waveform)
    : QObject(&window),
      session_(session),
      window_(window),
      waveform_(waveform),
      tx_(std::make_unique<operations::Transmitter>(session.host())),
      pwd_(std::make_unique<operations::PasswordChange>(session.host())),
      unlock_(std::make_unique<operations::PinUnlock>(session.host())) {
  tx_->setListener(this);
  pwd_->setListener(this);
  unlock_->setListener(this);
  // The main window is the session's front end; the maintenance and the preview report here.
  session_.operations().maintenance().setListener(this);
  session_.operations().preview().setListener(this);
  for (const Command c : {Command::Led1, Command::Led2, Command::Led3})
    if (QAction* a = window_.action(c)) a->setCheckable(true);
  connect(&waveform_, &WaveformView::clicked, this, [this](double) { waveformClicked(); });
  session_.host().addObserver(this);
}

RecorderCommands::~RecorderCommands() {
  session_.host().removeObserver(this);
  session_.operations().maintenance().setListener(nullptr);
  session_.operations().preview().setListener(nullptr);
  tx_->setListener(nullptr);
  pwd_->setListener(nullptr);
  unlock_->setListener(nullptr);
}

bool RecorderCommands::handle(int command) {
  auto& maintenance = session_.operations().maintenance();
  switch (static_cast<Command>(command)) {
    case Command::DeviceInfo:
      information(maintenance.device().text, TextId::AppName);
      return true;
    case Command::FlashInfo:
      information(maintenance.flashText(), TextId::AppName);
      return true;
    case Command::AdapterInfo:
      maintenance.adapterInformation([this, life = std::weak_ptr<char>(life_)](const std::string& text) {
        if (!life.expired()) information(text, TextId::AdapterInformation);
      });
      return true;
    case Command::BadBlockScan:
      maintenance.scanBadBlocks();
      return true;
    case Command::FlashCheck:
      maintenance.checkFlash();
      return true;
    case Command::TestModeOff:
      maintenance.testModeOff();
      return true;
    case Command::Led1:
      maintenance.setLed(1);
      onLedMode(maintenance.ledMode().value_or(0));
      return true;
    case Command::Led2:
      maintenance.setLed(2);
      onLedMode(maintenance.ledMode().value_or(0));
      return true;
    case Command::Led3:
      maintenance.setLed(3);
      onLedMode(maintenance.ledMode().value_or(0));
      return true;
    case Command::Transmitter:
      if (transmitter_ && transmitter_->isVisible()) {
        transmitter_->raise();
        transmitter_->activateWindow();
      } else {
        tx_->open();
      }
      return true;
    case Command::ResetPassword:
      pwd_->start();
      return true;
    default:
      return false;
  }
}

void RecorderCommands::information(const std::string& text, TextId caption) {
  session_.ui().message(text, lang::text(caption), ports::Icon::Information, ports::Buttons::Ok);
}

// ---- the session ---------------------------------------------------------------------------------

void RecorderCommands::onState(const session::SessionState& state) {
  linkState(app::recorderWindowsEnabled(enablingSession(state, {})));
}

void RecorderCommands::linkState(bool up) {
  linkUp_ = up;
  for (QWidget* w : std::initializer_list<QWidget*>{progress_, transmitter_, password_, pin_})
    if (w) w->setEnabled(up);
}

void RecorderCommands::onSessionReset() {
  // The password form belongs to the recorder that went. The transmitter's window stays, disabled
  // until the link is back; it closes when a device that is no transmitter answers.
  if (password_) password_->hide();
  if (progress_ && !session_.operations().maintenance().progress().running) progress_->hide();
}

// ---- maintenance ---------------------------------------------------------------------------------

void RecorderCommands::onMaintenanceProgress(const operations::MaintenanceProgress& p) {
  if (!p.running) {
    if (progress_) progress_->hide();
    return;
  }
  if (!progress_) {
    progress_ = new MaintenanceProgressWindow(&window_);
    progress_->onAbandon = [this] { session_.operations().maintenance().abandon(); };
    progress_->setEnabled(linkUp_);
  }
  progress_->showProgress(p);
  if (!progress_->isVisible()) progress_->show();
}

void RecorderCommands::onLedMode(int mode) {
  const Command items[] = {Command::Led1, Command::Led2, Command::Led3};
  for (int i = 0; i < 3; ++i)
    if (QAction* a = window_.action(items[i])) a->setChecked(mode == i + 1);
}

// ---- level preview -------------------------------------------------------------------------------

void RecorderCommands::waveformClicked() {
  // A file shown in the level display takes its clicks for playback.
  if (auto* path = qobject_cast<QLabel*>(window_.control(Control::FilePath)); path && !path->text().isEmpty())
    return;
  auto& list = session_.operations().list();
  std::optional<std::size_t> row = list.focused();
  if (!row || *row >= list.size()) row = list.firstSelected();
  if (!row) return;
  auto& preview = session_.operations().preview();
  if (preview.running()) return;
  preview.start(*row, operations::normaliseAcceleration(session_.settings().acceleration));
}

void RecorderCommands::onPreviewProgress(std::uint32_t done, std::uint32_t total) {
  session_.ui().status(lang::format(TextId::LevelPreviewFetching, {done, total}));
}

void RecorderCommands::onPreviewFinished(const operations::LevelPreviewResult& r) {
  const auto& t = r.tables;
  if (t.count() == 0) {
    waveform_.clearData();
    return;
  }
  const operations::LevelStatistics stats = operations::levelStatistics(t);
  std::vector<LevelChannel> channels;
  for (int c = 0; c < std::min(t.channels, 2); ++c) {
    LevelChannel ch;
    const auto ci = static_cast<std::size_t>(c);
    for (std::size_t i = 0; i < t.low[ci].size() && i < t.high[ci].size(); ++i)
      ch.points.emplace_back(t.low[ci][i], t.high[ci][i]);
    ch.centre = stats.mean[ci];
    ch.lowPeak = stats.lowest[ci];
    ch.highPeak = stats.highest[ci];
    channels.push_back(std::move(ch));
  }
  waveform_.showData(std::move(channels));
}

// ---- transmitter ---------------------------------------------------------------------------------

void RecorderCommands::onTransmitterShown() {
  if (!transmitter_) {
    transmitter_ = new TransmitterDialog(*tx_, &window_);
    transmitter_->setEnabled(linkUp_);
  }
  transmitter_->showValues();
  transmitter_->show();
  transmitter_->raise();
  transmitter_->activateWindow();
}

void RecorderCommands::onTransmitterChanged() {
  if (transmitter_) transmitter_->showValues();
}

void RecorderCommands::onFrequencyRefused() {
  if (transmitter_) transmitter_->frequencyRefused();
}

void RecorderCommands::onTransmitterClosed() {
  if (transmitter_) transmitter_->hide();
}

// ---- password and PIN ----------------------------------------------------------------------------

void RecorderCommands::onPasswordForm(operations::PasswordForm::Kind kind) {
  if (!password_) {
    password_ = new PasswordDialog(*pwd_, &window_);
    password_->setEnabled(linkUp_);
  }
  password_->openForm(kind);
}

void RecorderCommands::onPinPrompt(const operations::PinPrompt& prompt) {
  if (!pin_) {
    pin_ = new PinDialog(*unlock_, &window_);
    pin_->setEnabled(linkUp_);
  }
  pin_->prompt(prompt);
}

void RecorderCommands::onPinSent() {
  if (pin_) pin_->hide();
}

}  // namespace recdesk::gui
