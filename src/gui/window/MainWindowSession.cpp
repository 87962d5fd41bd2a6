// The main window's side of the session: what the session, the list and the download report, the
// commands it forwards, the enabling and the close.
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include "window/AboutBox.h"
#include "window/CommsLogWindow.h"
#include "window/GuiSession.h"
#include "window/GuideCommand.h"
#include "platform/GuiTexts.h"
#include "controls/ListingProgressWindow.h"
#include "window/MainWindow.h"

#include "dialogs/ClockController.h"
#include "controls/PlayerButton.h"
#include "dialogs/SettingsCommands.h"
#include "dialogs/RecorderCommands.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformView.h"
#include "window/WindowEnabling.h"
#include "app/PrefixCheck.h"
#include "app/Restrictions.h"
#include "operations/RecordingFolders.h"
#include "operations/SelectionPlayer.h"
#include "player/ConvertController.h"
#include "player/FilterController.h"
#include "player/PlayerController.h"

namespace recdesk::gui {

namespace {
// How long the close waits for the reset line to go out before the window goes anyway.
constexpr int kCloseWaitMs = 3000;
constexpr int kClosePollMs = 20;
// A listing of fewer recordings is over before a progress window could be read.
constexpr int kListingWindowFrom = 20;
}  // namespace

void MainWindow::applyEnabled(const EnabledSet& enabled) {
  for (const auto& [id, on] : enabled) {
    if (QAction* a = actions_.value(id)) a->setEnabled(on);
    if (QWidget* w = controls_.value(id)) w->setEnabled(on);
  }
}

void MainWindow::refreshEnabling() {
  WindowFacts facts;
  facts.reducedVariant = reducedVariant_;
  facts.transmitterMenu = transmitterMenu_;
  facts.recordingsSelected = session_.operations().list().selectedCount() > 0;
  enabled_ = app::enabledControls(enablingSession(state_, facts), playerState_,
                                  app::restrictionsOf(session_.settings()), enabled_);
  applyEnabled(windowEnabling(enabled_));
}

void MainWindow::setPlayerState(const app::PlayerState& player) {
  playerState_ = player;
  refreshEnabling();
}

void MainWindow::onState(const session::SessionState& state) {
  state_ = state;
  // An empty status line says what the session is in.
  std::string status = state.statusText;
  if (status.empty()) status = lang::text(state.connected ? TextId::RecorderConnected : TextId::NotConnected);
  status_->setText(QString::fromStdString(status));
  secondStatus_->setText(QString::fromStdString(state.secondStatus));
  recorderName_->setText(QString::fromStdString(state.recorderName));
  setWindowTitle(qtext(TextId::AppName) + QString::fromStdString(state.titleSuffix));
  if (!state.downloading && download_->isChecked() && !session_.operations().download().active()) {
    const QSignalBlocker block(download_);
    download_->setChecked(false);
  }
  refreshEnabling();
}

void MainWindow::onInfoChanged() {
  const auto& info = session_.host().info();
  if (!info.recordingTimeText.empty()) recordingTime_->setText(QString::fromStdString(info.recordingTimeText));
}

void MainWindow::onDeviceKind(session::DeviceVariant variant, std::uint16_t, bool transmitterMenu) {
  reducedVariant_ = variant == session::DeviceVariant::Reduced;
  transmitterMenu_ = transmitterMenu;
  if (QAction* a = action(Command::Transmitter)) a->setVisible(transmitterMenu || !reducedVariant_);
  refreshEnabling();
}

void MainWindow::onSessionReset() {
  if (listing_) listing_->hide();
  recorderName_->clear();
  ruler_->clear();
  waveform_->clearData();
}

void MainWindow::onListStarted() {
  const auto& info = session_.host().info();
  if (info.listCount < kListingWindowFrom) return;
  if (!listing_) listing_ = new ListingProgressWindow(this);
  listing_->setWindowTitle(qtext(TextId::AppName));
  listing_->setHeading(qtext(TextId::ReadingRecordingList));
  listing_->setTexts(QString::fromStdString(info.deviceName), QString());
  listing_->setProgress(0, info.listCount);
  listing_->show();
}

void MainWindow::onListRecord(const std::string&) {
  if (!listing_ || !listing_->isVisible()) return;
  const auto& info = session_.host().info();
  listing_->setProgress(static_cast<int>(info.listRecords), info.listCount);
}

void MainWindow::onListEnd() {
  if (listing_) listing_->hide();
}

void MainWindow::onListReset() {
  const QSignalBlocker block(recordings_);
  recordings_->clear();
  ruler_->clear();
}

void MainWindow::onRowChanged(std::size_t index) {
  const auto& list = session_.operations().list();
  if (index >= list.size()) return;
  const auto& row = list.row(index);
  const int at = static_cast<int>(index);
  syncing_ = true;
  QTreeWidgetItem* item = recordings_->topLevelItem(at);
  while (!item) {
    item = new QTreeWidgetItem(recordings_);
    for (int c = 0; c < operations::RecordingList::kColumnCount; ++c) item->setTextAlignment(c, Qt::AlignCenter);
    item = recordings_->topLevelItem(at);
  }
  for (int c = 0; c < operations::RecordingList::kColumnCount; ++c)
    item->setText(c, QString::fromStdString(row.columns[static_cast<std::size_t>(c)]).trimmed());
  // The start's text is longer in some locales and fonts than its column's first width.
  if (recordings_->fontMetrics().horizontalAdvance(item->text(operations::RecordingList::kStart)) + 12 >
      recordings_->columnWidth(operations::RecordingList::kStart))
    recordings_->resizeColumnToContents(operations::RecordingList::kStart);
  item->setSelected(row.selected);
  syncing_ = false;
  if (row.selected && list.firstSelected() == index) {
    const auto& e = row.entry;
    if (const auto start = e.start.toTime())
      ruler_->setSpan(*start, *start + static_cast<std::time_t>(e.durationSeconds));
  }
}

void MainWindow::onSelectionSums(const operations::SelectionSums&) {
  const auto& summary = session_.operations().list().summary();
  summary_->item(0, 0)->setText(QString::fromStdString(summary.selection));
  summary_->item(0, 1)->setText(QString::fromStdString(summary.im2));
  summary_->item(0, 2)->setText(QString::fromStdString(summary.wav));
  refreshEnabling();
}

void MainWindow::onDownloadProgress(const operations::DownloadProgress&) {}

void MainWindow::selectionFromView() {
  if (syncing_) return;
  auto& list = session_.operations().list();
  for (int i = 0; i < recordings_->topLevelItemCount() && static_cast<std::size_t>(i) < list.size(); ++i)
    list.setSelected(static_cast<std::size_t>(i), recordings_->topLevelItem(i)->isSelected());
  list.setFocused(recordings_->currentIndex().isValid()
                      ? std::optional<std::size_t>(static_cast<std::size_t>(recordings_->currentIndex().row()))
                      : std::nullopt);
  showSelectionInPlayer(list.focused());
  refreshEnabling();
}

void MainWindow::showSelectionInPlayer(std::optional<std::size_t> row) {
  if (!player_) return;
  auto& ops = session_.operations();
  operations::SelectionPlayerFacts facts;
  facts.focused = row;
  facts.downloadsAllowed = app::restrictionsOf(session_.settings()).allowed(app::restriction::kDownload);
  facts.downloading = ops.download().running();
  facts.shownPath = player_->path();
  player_->showSelection(operations::playerForSelection(ops.list(), ops.listReplies().currentNaming(), facts));
}

void MainWindow::prefixEdited(const QString& typed) {
  // What a file name cannot hold is taken out again at once.
  const app::PrefixCheck check = app::checkPrefix(typed.toStdString());
  if (check.changed) {
    prefix_->setText(QString::fromStdString(check.text));
    prefix_->end(false);
  }
  if (check.text == session_.settings().filePrefix) return;
  session_.settings().filePrefix = check.text;
  // The recordings' files have other names now: the list (also the next listing) and the player
  // follow them.
  auto& ops = session_.operations();
  if (ops.listReplies().naming) ops.listReplies().naming->prefix = check.text;
  if (ops.download().running() || ops.list().size() == 0) return;
  operations::refreshForPrefix(ops.list(), ops.listReplies().currentNaming().downloadFolder, check.text);
  showSelectionInPlayer(ops.list().firstSelected());
  refreshEnabling();
}

void MainWindow::downloadToggled(bool pressed) {
  auto& download = session_.operations().download();
  if (!pressed) {
    if (download.active()) download.requestStop();
    return;
  }
  auto options = operations::DownloadOptions::fromSettings(session_.settings());
  options.naming = session_.operations().listReplies().currentNaming();
  options.naming.prefix = operations::cleanPrefix(prefix_->text().toStdString());
  if (!download.start(options)) {
    const QSignalBlocker block(download_);
    download_->setChecked(false);
  }
  refreshEnabling();
}

void MainWindow::downloadRow(int row) {
  if (row < 0 || !download_->isEnabled() || download_->isChecked()) return;
  auto& list = session_.operations().list();
  for (std::size_t i = 0; i < list.size(); ++i) list.setSelected(i, static_cast<int>(i) == row);
  download_->setChecked(true);
}

void MainWindow::runCommand(int command) {
  if (settingsCommands_->handle(command)) return;
  if (recorderCommands_ && recorderCommands_->handle(command)) return;
  if (clockController_->handle(command)) return;
  auto& host = session_.host();
  if (player_ && player_->handle(command)) return;
  if (converter_ && converter_->handle(command)) return;
  if (filter_ && filter_->handle(command)) return;
  if (runGuideCommand(command, session_)) return;
  switch (static_cast<Command>(command)) {
    case Command::ReadList: host.commandList(); break;
    case Command::Format: host.commandFormat(); break;
    case Command::Download:
      if (!download_->isChecked()) download_->setChecked(true);
      break;
    case Command::CommsLog: logWindow_->setVisible(!logWindow_->isVisible()); break;
    case Command::About: {
      auto* box = new AboutBox(this);
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->open();
      break;
    }
    default:
      // The operation dialogs come with their operations.
      break;
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    // The reset line goes out paced: the window waits for it, polling, without a nested loop.
    closing_ = true;
    if (player_) player_->closeFile();
    session_.closeRequest();
    savePlacement();
    logWindow_->hide();
    event->ignore();
    auto* poll = new QTimer(this);
    auto waited = std::make_shared<int>(0);
    connect(poll, &QTimer::timeout, this, [this, poll, waited] {
      *waited += kClosePollMs;
      if (session_.shutdownComplete() || *waited >= kCloseWaitMs) {
        poll->stop();
        close();  // accepted now: the last window closes and the program ends
      }
    });
    poll->start(kClosePollMs);
    return;
  }
  event->accept();
}

}  // namespace recdesk::gui
