#include "player/PlayerController.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "window/Commands.h"
#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "controls/PlayerButton.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformView.h"
#include "playback/LevelOverview.h"
#include "playback/PlayerMath.h"
#include "sdl/SdlAudioSink.h"

namespace recdesk::gui {

namespace {
constexpr int kTickMs = 100;

std::vector<LevelChannel> channelsOf(const playback::LevelOverview& overview) {
  std::vector<LevelChannel> channels;
  for (int c = 0; c < std::min(overview.channels, 2); ++c) {
    LevelChannel ch;
    for (const auto& p : overview.points) ch.points.emplace_back(p.min[c], p.max[c]);
    ch.centre = overview.centre[c];
    ch.lowPeak = overview.min[c];
    ch.highPeak = overview.max[c];
    channels.push_back(std::move(ch));
  }
  return channels;
}

bool endsWithWav(const std::string& path) {
  return playback::mediaKindFor(path) == playback::MediaKind::Wav;
}
}  // namespace

PlayerController::PlayerController(GuiSession& session, QWidget* window, const PlayerWidgets& widgets,
                                   std::unique_ptr<ports::AudioSink> sink)
    : QObject(window), session_(session), window_(window), w_(widgets), sink_(std::move(sink)) {
  if (!sink_) sink_ = std::make_unique<platform::SdlAudioSink>();
  engine_ = std::make_unique<playback::PlaybackEngine>(*sink_, this);
  timer_ = new QTimer(this);
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, [this] { tick(); });
  connect(w_.play, &QAbstractButton::clicked, this, [this] { play(); });
  connect(w_.pause, &QAbstractButton::clicked, this, [this] { pause(); });
  connect(w_.stop, &QAbstractButton::clicked, this, [this] { stop(); });
  connect(w_.waveform, &WaveformView::clicked, this, [this](double f) { seekFraction(f); });
  applyButtons();
}

PlayerController::~PlayerController() {
  timer_->stop();
  // The sound stops at once; the worker ends before the output goes.
  engine_.reset();
  sink_.reset();
}

bool PlayerController::handle(int command) {
  if (command != number(Command::OpenFile)) return false;
  chooseFile();
  return true;
}

void PlayerController::chooseFile() {
  const QString im2 = qtext(TextId::Im2Files) + QStringLiteral(" (*.im2 *.IM2)");
  const QString wav = qtext(TextId::WavFiles) + QStringLiteral(" (*.wav *.WAV)");
  const QString all = qtext(TextId::AllFiles) + QStringLiteral(" (*)");
  const bool wavFirst = endsWithWav(lastOpened_);
  const QStringList filters = wavFirst ? QStringList{wav, im2, all} : QStringList{im2, wav, all};
  QString start = QString::fromStdString(lastOpened_);
  if (start.isEmpty()) start = QString::fromStdString(session_.settings().decryptFolder);
  auto* dialog = new QFileDialog(window_, qtext(TextId::AppName), start);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setNameFilters(filters);
  if (!lastOpened_.empty()) dialog->selectFile(QString::fromStdString(lastOpened_));
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
    lastOpened_ = file.toStdString();
    load(lastOpened_);
  });
  dialog->open();
}

void PlayerController::load(const std::string& path) {
  closeFile();
  const playback::MediaKind kind = playback::mediaKindFor(path);
  if (kind == playback::MediaKind::None) return;
  const bool im2 = kind == playback::MediaKind::Im2;
  const playback::LevelOverview overview = im2 ? playback::im2Overview(path) : playback::wavOverview(path);
  // The engine opens it on its worker and replies (playbackOpened / playbackOpenFailed); until then
  // the player counts it as loaded, so that play pressed meanwhile plays it once it is open.
  engine_->open(path, kind);
  path_ = path;
  loaded_ = true;
  im2_ = im2;
  totalMs_ = 0;  // known from the reply; clicks on the bar wait for it
  if (overview.channels > 0) w_.waveform->showData(channelsOf(overview));
  w_.waveform->setCursorFraction(0.0);
  w_.path->setText(QString::fromStdString(std::filesystem::path(path).filename().string()));
  w_.path->setToolTip(QString::fromStdString(path));
  changed();
}

bool PlayerController::isCurrent(const std::string& path) const { return loaded_ && path == path_; }

void PlayerController::opened(const playback::PlaybackStatus& s) {
  if (!isCurrent(s.path)) return;  // a file since replaced
  totalMs_ = s.lengthMs;
  if (im2_) {
    const std::time_t start = s.startTime.toTime().value_or(0);
    w_.ruler->setSpan(start, start + static_cast<std::time_t>(s.totalMs / 1000));
    w_.ruler->setPosition(start);
  } else {
    w_.ruler->setDuration(s.lengthMs / 1000);
    w_.ruler->setPosition(0);
  }
  showPosition(engine_->status());
}

void PlayerController::openFailed(const std::string& path, const std::string& text) {
  session_.ui().message(text, lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
  // A WAV file that cannot be opened is not loaded; an IM2 recording stays loaded (its failure was
  // told) and stops at the next tick when played.
  if (isCurrent(path) && !im2_) closeFile();
}

void PlayerController::closeFile() {
  if (!loaded_) return;
  timer_->stop();
  engine_->close();
  w_.waveform->clearData();
  w_.waveform->setCursorFraction(-1.0);
  w_.ruler->clear();
  w_.path->clear();
  w_.path->setToolTip({});
  path_.clear();
  loaded_ = playing_ = paused_ = false;
  totalMs_ = 0;
  changed();
}

void PlayerController::showSelection(const operations::SelectionPlayerView& view) {
  using Action = operations::SelectionPlayerView::Action;
  switch (view.action) {
    case Action::Keep: return;
    case Action::Load: load(view.im2.string()); return;
    case Action::Empty:
      closeFile();
      if (view.spanStart) w_.ruler->setSpan(*view.spanStart, view.spanEnd);
      w_.path->setToolTip(QString::fromStdString(view.im2.string()));
      return;
    case Action::Clear:
      closeFile();
      w_.ruler->clear();
      w_.path->setToolTip({});
      return;
  }
}

void PlayerController::startTimer() {
  timer_->start();
  if (!timer_->isActive())
    session_.ui().message(lang::text(TextId::PlaybackTimerFailed), lang::text(TextId::AppName), ports::Icon::Warning,
                          ports::Buttons::Ok);
}

void PlayerController::play() {
  if (!loaded_ || playing_) return;
  startTimer();
  engine_->play();
  playing_ = true;
  paused_ = false;
  changed();
}

void PlayerController::pause() {
  if (!playing_) return;
  timer_->stop();
  engine_->pause();
  playing_ = false;
  paused_ = true;
  changed();
}

void PlayerController::stop() {
  if (!loaded_) return;
  timer_->stop();
  engine_->stop();
  playing_ = paused_ = false;
  // The engine goes back to the start on its worker; the display does at once.
  playback::PlaybackStatus start = engine_->status();
  start.positionMs = 0;
  start.currentTime = start.startTime;
  showPosition(start);
  changed();
}

void PlayerController::seekFraction(double fraction) {
  if (!loaded_ || totalMs_ == 0) return;
  const int width = std::max(1, w_.waveform->width());
  const auto x = static_cast<std::int64_t>(fraction * width);
  // The bar shows the new position when the engine replies (playbackSeeked).
  engine_->seekMs(playback::clickTargetMs(totalMs_, x, width));
  if (playing_) startTimer();
}

void PlayerController::tick() {
  const playback::PlaybackStatus s = engine_->status();
  showPosition(s);
  // The end of the recording has been heard (or the file could not be read): stop.
  if (playing_ && s.state == playback::PlayState::Stopped) stop();
}

void PlayerController::showPosition(const playback::PlaybackStatus& s) {
  if (totalMs_ == 0) return;
  w_.waveform->setCursorFraction(std::clamp(static_cast<double>(s.positionMs) / static_cast<double>(totalMs_), 0.0, 1.0));
  if (im2_)
    w_.ruler->setPosition(s.currentTime.toTime().value_or(0));
  else
    w_.ruler->setPosition(s.positionMs / 1000);
}

PlayerState PlayerController::state() const { return PlayerState{loaded_, playing_, paused_}; }

void PlayerController::applyButtons() {
  w_.play->setEnabled(loaded_ && !playing_);
  w_.pause->setEnabled(playing_);
  w_.stop->setEnabled(playing_ || paused_);
  if (playing_) w_.open->setEnabled(false);
  if (loaded_) w_.waveform->setEnabled(true);
}

void PlayerController::changed() {
  applyButtons();
  if (onStateChanged) onStateChanged();
}

void PlayerController::playbackOpened(const playback::PlaybackStatus& status) {
  QMetaObject::invokeMethod(this, [this, status] { opened(status); }, Qt::QueuedConnection);
}

void PlayerController::playbackOpenFailed(const std::string& path, const std::string& reason) {
  const std::string text = lang::text(TextId::UnableToOpenRecording) + " " + path + (reason.empty() ? "" : ": " + reason);
  QMetaObject::invokeMethod(this, [this, path, text] { openFailed(path, text); }, Qt::QueuedConnection);
}

void PlayerController::playbackSeeked(const playback::PlaybackStatus& status) {
  QMetaObject::invokeMethod(
      this, [this, status] { if (isCurrent(status.path)) showPosition(status); }, Qt::QueuedConnection);
}

void PlayerController::playbackSoundUnavailable() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        session_.ui().message(lang::text(TextId::SoundOutputUnavailable), lang::text(TextId::AppName),
                              ports::Icon::Warning, ports::Buttons::Ok);
      },
      Qt::QueuedConnection);
}

void PlayerController::playbackEnded() {
  QMetaObject::invokeMethod(this, [this] { if (playing_) stop(); }, Qt::QueuedConnection);
}

}  // namespace recdesk::gui
