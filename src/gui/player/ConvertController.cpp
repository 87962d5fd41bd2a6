#include "player/ConvertController.h"

#include <QFileDialog>
#include <filesystem>

#include "window/Commands.h"
#include "controls/ConversionProgressWindow.h"
#include "window/GuiSession.h"
#include "platform/GuiTexts.h"
#include "playback/PlayerMath.h"
#include "player/WorkerJobUi.h"

namespace recdesk::gui {

ConvertController::ConvertController(GuiSession& session, QWidget* window)
    : QObject(window), session_(session), window_(window), progress_(new ConversionProgressWindow(window)) {
  connect(progress_, &QDialog::rejected, this, [this] { cancel_ = true; });
}

ConvertController::~ConvertController() {
  cancel_ = true;
  queue_.clear();
  ready_.clear();
  if (worker_.joinable()) worker_.join();
}

bool ConvertController::handle(int command) {
  if (command != number(Command::Convert)) return false;
  if (busy()) return true;
  auto* dialog = new QFileDialog(window_, qtext(TextId::AppName), QString::fromStdString(session_.settings().downloadFolder));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::ExistingFiles);
  dialog->setNameFilters({qtext(TextId::Im2Files) + QStringLiteral(" (*.im2 *.IM2)"),
                          qtext(TextId::AllFiles) + QStringLiteral(" (*)")});
  connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
    std::vector<std::string> sources;
    for (const QString& f : files) {
      // Only IM2 recordings go on.
      if (playback::mediaKindFor(f.toStdString()) == playback::MediaKind::Im2) sources.push_back(f.toStdString());
    }
    convert(sources);
  });
  dialog->open();
  return true;
}

std::string ConvertController::wavPathFor(const std::string& source) const {
  const std::filesystem::path src(source);
  std::filesystem::path folder = session_.settings().decryptFolder;
  if (folder.empty() || !std::filesystem::is_directory(folder)) folder = src.parent_path();
  return (folder / src.stem()).string() + ".wav";
}

void ConvertController::convert(const std::vector<std::string>& sources) {
  if (sources.empty() || busy()) return;
  queue_.assign(sources.begin(), sources.end());
  lastWav_.clear();
  if (beforeConversion) beforeConversion();
  next();
}

void ConvertController::convertDownloaded(const operations::RecordingFiles& files, operations::ConversionDone done) {
  start(Job{files.im2.string(), files.wav.string(), std::move(done)});
}

void ConvertController::next() {
  if (running_) return;
  if (!ready_.empty()) {
    Job job = std::move(ready_.front());
    ready_.pop_front();
    start(std::move(job));
    return;
  }
  if (queue_.empty()) {
    progress_->finish();
    if (!lastWav_.empty() && afterConversion) afterConversion(lastWav_);
    lastWav_.clear();
    return;
  }
  const std::string source = queue_.front();
  queue_.pop_front();
  const std::string wav = wavPathFor(source);
  auto question = audio::overwriteQuestion(wav);
  if (!question) {
    start(Job{source, wav, {}});
    return;
  }
  session_.ui().ask(*question, [this, source, wav](const ports::Reply& reply) {
    if (reply.answer == ports::Answer::Yes)
      start(Job{source, wav, {}});
    else
      next();
  });
}

void ConvertController::start(Job job) {
  if (running_) {
    ready_.push_back(std::move(job));
    return;
  }
  if (worker_.joinable()) worker_.join();
  const std::string source = job.source;
  const std::string wav = job.wav;
  done_ = std::move(job.done);
  running_ = true;
  cancel_ = false;
  progress_->finish();
  progress_->showProgress(QString::fromStdString(lang::text(TextId::Converting) + ": " + std::filesystem::path(source).filename().string()), 0, 1);
  workerUi_ = std::make_unique<WorkerJobUi>(this, session_.ui(), progress_, cancel_);
  audio::ConvertRequest request;
  request.sourcePath = source;
  request.wavPath = wav;
  request.cutMinutes = session_.settings().waveCutTime;
  request.cutMiB = session_.settings().waveCutSize;
  request.askBeforeOverwrite = false;  // asked already
  worker_ = std::thread([this, request] {
    auto log = [this](const std::string& text) {
      QMetaObject::invokeMethod(this, [this, text] { session_.logText(text); }, Qt::QueuedConnection);
    };
    audio::ConvertResult result = audio::Im2Converter(*workerUi_, log).convert(request);
    QMetaObject::invokeMethod(this, [this, result] { finished(result); }, Qt::QueuedConnection);
  });
}

void ConvertController::finished(audio::ConvertResult result) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  if (auto done = std::move(done_)) {
    done_ = nullptr;
    done(operations::conversionOutcomeOf(result));
  } else {
    if (!result.firstWavPath.empty() && !result.parts.empty()) lastWav_ = result.firstWavPath;
    if (onResult) onResult(result);
    if (result.status == audio::ConvertStatus::Cancelled) queue_.clear();
  }
  next();
}

}  // namespace recdesk::gui
