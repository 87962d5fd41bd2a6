// The main window's construction: controls, layout, tooltips, menus, the log window and the
// window placement.
#include "window/MainWindow.h"

#include "dialogs/ClockController.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <optional>

#include "window/CommsLogWindow.h"
#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "window/MainMenus.h"
#include "controls/ElidedLabel.h"
#include "controls/PlayerButton.h"
#include "dialogs/SettingsCommands.h"
#include "dialogs/RecorderCommands.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformView.h"
#include "operations/RecordingFolders.h"
#include "player/ConvertController.h"
#include "player/FilterController.h"
#include "player/PlayerController.h"

namespace recdesk::gui {

MainWindow::MainWindow(GuiSession& session, QWidget* parent) : QMainWindow(parent), session_(session) {
  setWindowTitle(qtext(TextId::AppName));
  setWindowIcon(QIcon(QStringLiteral(":/icons/recdesk.png")));
  buildControls();
  settingsCommands_ = new SettingsCommands(*this, session_);
  settingsCommands_->attachProfiles();
  actions_ = buildMenus(menuBar(), [this](int command) { runCommand(command); });

  logWindow_ = new CommsLogWindow(session_.log(), this);
  connect(logWindow_, &CommsLogWindow::visibilityChanged, this, [this](bool shown) { setLogVisible(shown); });
  placeWindows();

  session_.ui().setParent(this);
  session_.ui().setStatusSink([this](const std::string& text) { status_->setText(QString::fromStdString(text)); });
  session_.operations().download().onFinished = [this] {
    const QSignalBlocker block(download_);
    download_->setChecked(false);
    refreshEnabling();
  };
  session_.operations().setFrontEnd(this);
  player_ = new PlayerController(session_, this, {play_, pause_, stop_, open_, waveform_, ruler_, filePath_});
  // The player's buttons follow the core's enabling rules like every other control.
  player_->onStateChanged = [this] {
    const PlayerState p = player_->state();
    setPlayerState(app::PlayerState{p.fileLoaded, p.playing, p.paused});
  };
  // A download stops the player first and loads its last complete recording at the end.
  session_.operations().download().stopPlayback = [this] { player_->closeFile(); };
  session_.operations().download().loadPlayer = [this](const std::optional<std::filesystem::path>& im2) {
    if (im2) player_->load(im2->string());
  };
  converter_ = new ConvertController(session_, this);
  converter_->beforeConversion = [this] { player_->closeFile(); };
  converter_->afterConversion = [this](const std::string& wav) { player_->load(wav); };
  session_.operations().download().convert = [this](const auto& files, auto done) { converter_->convertDownloaded(files, std::move(done)); };
  filter_ = new FilterController(session_, this, converter_->progressWindow());
  filter_->beforeRun = [this](const std::string& input, const std::string& output) {
    if (QString::fromStdString(player_->path()).compare(QString::fromStdString(input), Qt::CaseInsensitive) == 0 ||
        QString::fromStdString(player_->path()).compare(QString::fromStdString(output), Qt::CaseInsensitive) == 0)
      player_->closeFile();
  };
  filter_->afterRun = [this](const std::string& output) { player_->load(output); };
  recorderCommands_ = new RecorderCommands(session_, *this, *waveform_);
  clockController_ = new ClockController(session_, this, [this] { close(); });
  refreshEnabling();
}

PlayerState MainWindow::playerState() const { return player_ ? player_->state() : PlayerState{}; }

MainWindow::~MainWindow() {
  delete recorderCommands_;
  delete clockController_;  // its operations go while the session is whole
  session_.operations().setFrontEnd(nullptr);
  session_.operations().download().onFinished = nullptr;
  session_.operations().download().stopPlayback = nullptr;
  session_.operations().download().loadPlayer = nullptr;
  session_.operations().download().convert = nullptr;
  delete filter_;
  delete converter_;  // a conversion under way is cancelled and waited for
  delete player_;  // the sound stops before the window's controls go
  session_.ui().setStatusSink(nullptr);
  session_.ui().setParent(nullptr);
}

void MainWindow::buildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  const auto remember = [this](Control c, QWidget* w, std::optional<TextId> tip = std::nullopt) {
    controls_.insert(number(c), w);
    w->setObjectName(QStringLiteral("control%1").arg(number(c)));
    if (tip) w->setToolTip(qtext(*tip));
  };

  // Recorder and profile.
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(qtext(TextId::LabelRecorder), central));
  recorderName_ = new QLabel(central);
  QFont bold = recorderName_->font();
  bold.setBold(true);
  recorderName_->setFont(bold);
  remember(Control::RecorderName, recorderName_);
  top->addWidget(recorderName_);
  top->addSpacing(12);
  top->addWidget(new QLabel(qtext(TextId::LabelProfile), central));
  // The drop-down is as wide as its longest profile name, so that the chosen one is read whole; the
  // name beside it gives up room first.
  profiles_ = new QComboBox(central);
  profiles_->setMinimumWidth(160);
  profiles_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  remember(Control::ProfileChoice, profiles_, TextId::TipProfiles);
  top->addWidget(profiles_);
  profileName_ = new ElidedLabel(central);
  profileName_->setText(qtext(TextId::NoProfileSelected));
  remember(Control::ProfileName, profileName_);
  profileName_->setToolTip(qtext(TextId::SelectedProfile));
  top->addWidget(profileName_, 1);
  apply_ = new QPushButton(qtext(TextId::ButtonApply), central);
  remember(Control::ApplyProfile, apply_, TextId::TipApplyProfile);
  top->addWidget(apply_);
  layout->addLayout(top);

  // The recordings and the summary of the selected ones.
  recordings_ = new QTreeWidget(central);
  remember(Control::RecordingList, recordings_, TextId::TipRecordings);
  recordings_->setRootIsDecorated(false);
  recordings_->setUniformRowHeights(true);
  recordings_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  recordings_->setSelectionBehavior(QAbstractItemView::SelectRows);
  recordings_->setAlternatingRowColors(true);
  QStringList headers;
  for (TextId id : operations::RecordingList::kHeaderIds) headers << qtext(id);
  recordings_->setHeaderLabels(headers);
  for (int c = 0; c < headers.size(); ++c) {
    recordings_->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    if (operations::RecordingList::kWidths[static_cast<std::size_t>(c)] > 0)
      recordings_->setColumnWidth(c, operations::RecordingList::kWidths[static_cast<std::size_t>(c)]);
  }
  recordings_->header()->setStretchLastSection(true);
  recordings_->header()->setMinimumSectionSize(30);
  layout->addWidget(recordings_, 3);

  summary_ = new QTableWidget(1, 3, central);
  remember(Control::Summary, summary_);
  summary_->setShowGrid(true);
  summary_->verticalHeader()->hide();
  summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  summary_->setSelectionMode(QAbstractItemView::NoSelection);
  summary_->setFocusPolicy(Qt::NoFocus);
  const int summaryWidths[] = {300, 100, 100};
  for (int c = 0; c < 3; ++c) {
    auto* header = new QTableWidgetItem(qtext(operations::RecordingList::kSummaryHeaderIds[static_cast<std::size_t>(c)]));
    summary_->setHorizontalHeaderItem(c, header);
    summary_->setColumnWidth(c, summaryWidths[c]);
    auto* cell = new QTableWidgetItem;
    cell->setTextAlignment(Qt::AlignCenter);
    summary_->setItem(0, c, cell);
  }
  summary_->horizontalHeader()->setStretchLastSection(true);
  summary_->item(0, 0)->setText(QStringLiteral("0 ") + qtext(TextId::Recordings));
  summary_->setFixedHeight(summary_->horizontalHeader()->sizeHint().height() + summary_->rowHeight(0) + 4);
  summary_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  summary_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layout->addWidget(summary_);

  // Recorder buttons and the prefix.
  auto* buttons = new QHBoxLayout;
  download_ = new QPushButton(qtext(TextId::ButtonDownload), central);
  download_->setCheckable(true);
  remember(Control::Download, download_, TextId::TipDownload);
  buttons->addWidget(download_);
  format_ = new QPushButton(qtext(TextId::ButtonFormat), central);
  remember(Control::Format, format_, TextId::TipFormat);
  buttons->addWidget(format_);
  recordStart_ = new PlayerButton(PlayerButton::Kind::Record, central);
  remember(Control::RecordStart, recordStart_, TextId::TipRecordStart);
  buttons->addWidget(recordStart_);
  recordStop_ = new PlayerButton(PlayerButton::Kind::RecordStop, central);
  remember(Control::RecordStop, recordStop_, TextId::TipRecordStop);
  buttons->addWidget(recordStop_);
  buttons->addStretch(1);
  buttons->addWidget(new QLabel(qtext(TextId::LabelPrefix), central));
  prefix_ = new QLineEdit(QString::fromStdString(session_.settings().filePrefix), central);
  prefix_->setMaximumWidth(160);
  remember(Control::Prefix, prefix_, TextId::TipPrefix);
  buttons->addWidget(prefix_);
  layout->addLayout(buttons);

  // Level display, ruler and player.
  auto* player = new QGroupBox(qtext(TextId::LevelDisplayTitle), central);
  auto* playerLayout = new QVBoxLayout(player);
  ruler_ = new TimeRuler(player);
  remember(Control::Ruler, ruler_);
  playerLayout->addWidget(ruler_);
  waveform_ = new WaveformView(player);
  remember(Control::Waveform, waveform_);
  playerLayout->addWidget(waveform_, 1);
  auto* playerButtons = new QHBoxLayout;
  play_ = new PlayerButton(PlayerButton::Kind::Play, player);
  remember(Control::Play, play_, TextId::TipPlay);
  pause_ = new PlayerButton(PlayerButton::Kind::Pause, player);
  remember(Control::Pause, pause_, TextId::TipPause);
  stop_ = new PlayerButton(PlayerButton::Kind::Stop, player);
  remember(Control::Stop, stop_, TextId::TipStop);
  open_ = new QPushButton(qtext(TextId::ButtonOpen), player);
  remember(Control::OpenFile, open_, TextId::TipOpenFile);
  for (QWidget* w : {static_cast<QWidget*>(play_), static_cast<QWidget*>(pause_), static_cast<QWidget*>(stop_),
                     static_cast<QWidget*>(open_)})
    playerButtons->addWidget(w);
  filePath_ = new QLabel(player);
  filePath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  remember(Control::FilePath, filePath_);
  playerButtons->addWidget(filePath_, 1);
  playerLayout->addLayout(playerButtons);
  layout->addWidget(player, 2);
  for (PlayerButton* b : {play_, pause_, stop_}) b->setEnabled(false);
  setCentralWidget(central);

  // Status texts.
  status_ = new QLabel(qtext(TextId::NotConnected), this);
  remember(Control::Status, status_);
  secondStatus_ = new QLabel(this);
  remember(Control::SecondStatus, secondStatus_);
  recordingTime_ = new QLabel(QString::fromStdString(lang::format(TextId::RecordingTimeLeft, {lang::text(TextId::NoProfileSelected)})), this);
  remember(Control::RecordingTime, recordingTime_);
  // The status texts keep a little distance from the window's edges.
  for (QLabel* l : {status_, secondStatus_, recordingTime_}) l->setContentsMargins(4, 0, 4, 0);
  statusBar()->addWidget(status_, 2);
  statusBar()->addWidget(secondStatus_, 1);
  statusBar()->addPermanentWidget(recordingTime_);

  connect(recordings_, &QTreeWidget::itemSelectionChanged, this, [this] { selectionFromView(); });
  connect(recordings_, &QTreeWidget::currentItemChanged, this, [this] { selectionFromView(); });
  connect(recordings_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { downloadRow(recordings_->indexOfTopLevelItem(item)); });
  connect(download_, &QPushButton::toggled, this, [this](bool pressed) { downloadToggled(pressed); });
  connect(format_, &QPushButton::clicked, this, [this] { runCommand(number(Command::Format)); });
  connect(recordStart_, &QToolButton::clicked, this, [this] { session_.host().commandRecordOn(); });
  connect(recordStop_, &QToolButton::clicked, this, [this] { session_.host().commandRecordOff(); });
  connect(open_, &QPushButton::clicked, this, [this] { runCommand(number(Command::OpenFile)); });
  connect(prefix_, &QLineEdit::textEdited, this, [this](const QString& text) { prefixEdited(text); });
  resize(880, 620);
}

void MainWindow::placeWindows() {
  // The stored position is applied; the stored size is read but the window keeps its own.
  const app::Settings& s = session_.settings();
  move(s.mainLeft, s.mainTop);
  logWindow_->setGeometry(s.logLeft, s.logTop, std::max(s.logWidth, 288), std::max(s.logHeight, 100));
  if (s.commsLogDisplay) logWindow_->show();
  if (QAction* a = action(Command::CommsLog)) a->setChecked(s.commsLogDisplay);
}

void MainWindow::savePlacement() {
  app::Settings& s = session_.settings();
  const bool placement = !isMinimized();
  if (placement) {
    s.mainLeft = frameGeometry().left();
    s.mainTop = frameGeometry().top();
    s.mainWidth = frameGeometry().width();
    s.mainHeight = frameGeometry().height();
  }
  session_.saveMainWindow(placement);
  if (!logWindow_->isMinimized()) {
    const QRect g = logWindow_->frameGeometry();
    s.logLeft = g.left();
    s.logTop = g.top();
    s.logWidth = g.width();
    s.logHeight = g.height();
    app::saveCommsLog(session_.settingsFile(), s);
  }
}

void MainWindow::setLogVisible(bool shown) {
  if (QAction* a = action(Command::CommsLog)) a->setChecked(shown);
  if (closing_ || session_.settings().commsLogDisplay == shown) return;
  session_.settings().commsLogDisplay = shown;
  app::saveCommsLogDisplay(session_.settingsFile(), shown);
}

void MainWindow::bringForward() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

QString MainWindow::statusText() const { return status_->text(); }

}  // namespace recdesk::gui
