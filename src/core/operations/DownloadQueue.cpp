// The download's queue: the checks before it starts, one recording after another with its files,
// the end of each recording and the one way the whole download ends. The transfer of one recording
// is in Download.cpp; the waits for answers and conversions in DownloadWaits.cpp.
#include <algorithm>
#include <system_error>

#include "app/Settings.h"
#include "FlashPage.h"
#include "lang/Strings.h"
#include "operations/Download.h"
#include "operations/DownloadFiles.h"
#include "operations/DownloadRequests.h"
#include "ports/UserInterface.h"
#include "session/SessionInfo.h"

namespace fs = std::filesystem;

namespace recdesk::operations {

namespace {


}  // namespace

DownloadOptions DownloadOptions::fromSettings(const app::Settings& s) {
  DownloadOptions o;
  o.naming = {s.downloadFolder, s.decryptFolder, s.filePrefix};
  o.autoDecrypt = s.autoDecrypt;
  o.acceleration = normaliseAcceleration(s.acceleration);
  o.baud = s.baud;
  return o;
}

Download::Download(session::SessionServices& services, RecordingList& list)
    : services_(services), list_(list), writer_(std::make_unique<RecordingWriter>()) {}

Download::~Download() = default;

// ---- start ---------------------------------------------------------------------------------------

bool Download::start(const DownloadOptions& options) {
  if (running_ || starting_) {
    // Pressed again while the last block of a stop is under way, or while the start waits for an
    // answer: the download goes on.
    active_ = true;
    services_.setActivity(session::Activity::Download, true);
    return true;
  }
  if (services_.flags().sample || services_.flags().maintenance) {
    // A level preview's transfer, a format or a flash check holds the recorder: nothing starts beside it.
    if (onFinished) onFinished();
    return false;
  }
  options_ = options;
  options_.acceleration = normaliseAcceleration(options.acceleration);
  outcomes_.clear();
  asked_.clear();
  scanRequested_ = false;
  active_ = true;
  services_.setActivity(session::Activity::Download, true);
  services_.stopKeepAliveAndReplyWait();

  // The folders may have to be created, which the user is asked about: the start goes on when the
  // answers have come (at once on the command line, later in a window).
  starting_ = true;
  refused_ = false;
  confirmFolder(options_.naming.downloadFolder, [this](bool ok) {
    if (!ok) return refuseStart();
    if (!options_.autoDecrypt) return begin();
    confirmFolder(options_.naming.decodeFolder, [this](bool decodeOk) { decodeOk ? begin() : refuseStart(); });
  });
  return !refused_;
}

void Download::begin() {
  // The button was released, or the recorder went, while the user was being asked.
  if (!active_ || !services_.recorderConnected()) return refuseStart();

  pagesTotal_ = list_.selectedPagesToTransfer();
  pagesTransferred_ = 0;
  lastCompleted_.reset();
  if (stopPlayback) stopPlayback();

  if (!checkDiskSpace()) return refuseStart();

  const auto first = list_.firstSelected();
  if (!first) return refuseStart();
  queue_ = first;
  for (auto row = first; row; row = list_.nextSelected(*row)) asked_.push_back(list_.row(*row).entry);
  badPagesAccepted_ = false;
  place_ = BlockPlace{};  // nothing learnt about a block in an earlier download counts now
  starting_ = false;
  running_ = true;
  kept_.assign(static_cast<std::size_t>(options_.acceleration) * kPageSize, 0);
  services_.setActiveTransfer(this);
  advance();
}

void Download::refuseStart() {
  starting_ = false;
  refused_ = true;
  endDownload(Ending::Refused);
}

void Download::requestStop() {
  services_.log(" " + lang::text(TextId::StoppingAfterBlock) + "\r\n");
  active_ = false;
  services_.setActivity(session::Activity::Download, false);
}

void Download::confirmFolder(const std::string& folder, std::function<void(bool ok)> then) {
  const std::string problem = folderProblem(folder);
  auto& ui = services_.ui();
  if (!problem.empty()) {
    ui.message(lang::formatText("%s\n\n%s\n\n%s", {lang::text(TextId::InvalidFolderPath), folder + " (" + problem + ")", lang::text(TextId::EnterFullPath)}),
               lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
    return then(false);
  }
  const fs::path path = usableFolder(folder);
  std::error_code ec;
  if (fs::is_directory(path, ec)) return then(true);
  if (fs::exists(path, ec)) {
    ui.message(lang::formatText("%s\n\n%s\n\n%s", {lang::text(TextId::InvalidFolderPath), path.string(), lang::text(TextId::EnterFullPath)}),
               lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
    return then(false);
  }
  ports::Question q;
  q.topic = ports::Topic::CreateFolder;
  q.text = lang::formatText("%s\n\n%s", {lang::text(TextId::CreateMissingFolder), path.string()});
  q.caption = lang::text(TextId::AppName);
  q.defaultAnswer = ports::Answer::No;
  ask(std::move(q), [this, path, then](const ports::Reply& reply) {
    // A folder is only made for a download that is still wanted.
    if (reply.answer != ports::Answer::Yes || !active_) return then(false);
    std::error_code createEc;
    fs::create_directories(path, createEc);
    if (createEc || !fs::is_directory(path)) {
      services_.ui().message(lang::formatText("%s\n\n%s\n\n%s", {lang::text(TextId::FolderNotCreated), path.string(), createEc.message()}),
                             lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
      return then(false);
    }
    then(true);
  });
}

bool Download::checkDiskSpace() {
  const FreeSpaceQuery query = freeSpace ? freeSpace : FreeSpaceQuery(freeSpaceOf);
  DiskSpaceInput in;
  in.im2Need = pagesTotal_ * kPageSize;
  in.wavNeed = list_.selectedWavBytes();
  in.autoDecode = options_.autoDecrypt;
  const fs::path downloadFolder = usableFolder(options_.naming.downloadFolder);
  const fs::path decodeFolder = usableFolder(options_.naming.decodeFolder);
  in.freeDownload = query(downloadFolder);
  in.freeDecode = options_.autoDecrypt ? query(decodeFolder) : in.freeDownload;
  const DiskSpaceVerdict v = decideDiskSpace(in);
  if (v.ok) return true;
  const std::string where = (v.decodeFolderShort ? decodeFolder : downloadFolder).string();
  services_.ui().message(lang::format(TextId::DiskSpaceNeeded, {where, static_cast<double>(v.needed) / 1048576.0,
                                            static_cast<double>(v.available) / 1048576.0}),
                         lang::text(TextId::NotEnoughDiskSpace), ports::Icon::Warning, ports::Buttons::Ok);
  return false;
}

// ---- the queue -------------------------------------------------------------------------------------

void Download::advance() {
  // Files that end at once (skipped, complete, failing) lead straight to the next one: a loop rather
  // than a recursion, however many rows are queued.
  nextPending_ = true;
  if (inQueueLoop_) return;
  inQueueLoop_ = true;
  while (nextPending_) {
    nextPending_ = false;
    nextFile();
  }
  inQueueLoop_ = false;
}

void Download::nextFile() {
  if (!queue_ || *queue_ >= list_.size()) {
    endDownload(Ending::Finished);
    return;
  }
  current_ = queue_;
  queue_ = list_.nextSelected(*current_);
  list_.setFocused(current_);
  entry_ = list_.row(*current_).entry;
  phase_ = 0;
  pagesDone_ = 0;
  measured_ = false;
  headerStored_ = false;
  awaitingEnd_ = false;
  stopping_ = Stopping::No;
  resyncsInRow_ = 0;

  outcomes_.emplace_back();
  RecordingOutcome& out = outcome();
  out.fileNumber = entry_.fileNumber;
  out.pages = entry_.pages;
  out.pagesOnDisk = entry_.pagesOnDisk;
  files_ = recordingFiles(options_.naming.downloadFolder, options_.naming.decodeFolder, options_.naming.prefix,
                          list_.deviceName(), entry_.fileNumber);
  out.files = files_;
  finishAnnounced_ = false;
  if (listener_) listener_->onRecordingStarted(entry_.fileNumber, *current_);

  if (entry_.pages == 0) {
    // Nothing to fetch: a header request would name page -1.
    services_.log(lang::formatText(" %s: %lu (0 pages)\r\n", {lang::text(TextId::DownloadingRecording), static_cast<unsigned long>(entry_.fileNumber)}));
    out.skipped = true;
    out.problem = "the recording holds no pages";
    finishFile();
    return;
  }

  std::error_code ec;
  if (!fs::exists(files_.im2, ec)) {
    services_.refreshControls();
    sendRequest();
    return;
  }

  // After a format the recorder numbers its recordings from 1 again: a file of the same name may
  // hold another recording, and appending to it would mix two recordings in one file.
  if (const std::string mismatch = im2HeaderMismatch(files_.im2, entry_, list_.deviceName()); !mismatch.empty()) {
    if (!moveOldRecordingAside(mismatch)) return;
    services_.refreshControls();
    sendRequest();
    return;
  }

  const std::uint64_t existing = fs::file_size(files_.im2, ec);
  ports::Question q;
  q.topic = ports::Topic::ExistingFile;
  q.text = existingFileQuestion(ec ? 0 : existing, entry_.im2Size, files_.im2);
  q.caption = lang::text(TextId::AppName);
  // The answers in the order of ExistingFileChoice; a dismissed question continues, which loses nothing.
  q.choices = {lang::text(TextId::ChoiceContinue), lang::text(TextId::ChoiceStartAgain), lang::text(TextId::ChoiceSkip)};
  q.defaultChoice = static_cast<std::size_t>(ports::ExistingFileChoice::Continue);
  ask(std::move(q), [this](const ports::Reply& reply) {
    existingFileAnswered(reply.choice <= static_cast<std::size_t>(ports::ExistingFileChoice::Skip)
                             ? static_cast<ports::ExistingFileChoice>(reply.choice)
                             : ports::ExistingFileChoice::Continue);
  });
}

void Download::existingFileAnswered(ports::ExistingFileChoice choice) {
  RecordingOutcome& out = outcome();
  if (!active_) {
    // The button was released while the user was being asked.
    out.problem = "the download was stopped";
    finishFile();
    return;
  }
  switch (choice) {
    case ports::ExistingFileChoice::StartAgain: {
      forgetPagesOnDisk();
      for (const fs::path& file : {files_.im2, files_.info}) {
        std::error_code rmEc;
        fs::remove(file, rmEc);
        if (rmEc) {
          services_.ui().message(lang::formatText("%s %s.", {lang::text(TextId::UnableToDelete), file.string()}), lang::text(TextId::AppName),
                                 ports::Icon::Error, ports::Buttons::Ok);
          failRecording("the file " + file.string() + " could not be deleted (" + rmEc.message() + ")");
          return;
        }
      }
      sendRequest();
      return;
    }
    case ports::ExistingFileChoice::Skip: {
      if (rowValid()) list_.setSelected(*current_, false);
      const std::uint64_t left = entry_.pages > entry_.pagesOnDisk ? entry_.pages - entry_.pagesOnDisk : 0;
      pagesTotal_ = pagesTotal_ > left ? pagesTotal_ - left : 0;
      out.skipped = true;
      out.problem = "skipped";
      announceFinish();
      current_.reset();
      if (queue_ && active_) {
        advance();
      } else {
        endDownload(Ending::Finished);
      }
      return;
    }
    case ports::ExistingFileChoice::Continue:
      break;
  }
  sendRequest();
}

void Download::forgetPagesOnDisk() {
  pagesTotal_ += std::min(entry_.pagesOnDisk, entry_.pages);
  entry_.pagesOnDisk = 0;
  outcome().pagesOnDisk = 0;
  if (rowValid()) list_.setPagesOnDisk(*current_, 0);
}

bool Download::moveOldRecordingAside(const std::string& why) {
  services_.log(lang::formatText(" %s: %s\r\n", {files_.im2.string(), why}));
  std::string error;
  const auto moved = moveAside(files_, error);
  if (!moved) {
    failRecording(error);
    return false;
  }
  for (const fs::path& file : *moved) services_.log(" " + lang::text(TextId::OtherRecordingMovedAside) + " " + file.string() + "\r\n");
  outcome().movedAside = *moved;
  forgetPagesOnDisk();
  return true;
}

std::uint64_t Download::pagesOnDiskNow() const {
  // Before the IM2 file is measured, what the list found on disk still holds.
  return measured_ ? pagesDone_ : std::min(entry_.pagesOnDisk, entry_.pages);
}

void Download::listUnreached(const std::string& why) {
  std::vector<bool> matched(outcomes_.size(), false);
  for (const RecordingEntry& e : asked_) {
    bool found = false;
    for (std::size_t i = 0; i < outcomes_.size() && !found; ++i) {
      if (!matched[i] && outcomes_[i].fileNumber == e.fileNumber) matched[i] = found = true;
    }
    if (found) continue;
    RecordingOutcome out;
    out.fileNumber = e.fileNumber;
    out.pages = e.pages;
    out.pagesOnDisk = std::min(e.pagesOnDisk, e.pages);
    out.reached = false;
    out.problem = why;
    out.files = recordingFiles(options_.naming.downloadFolder, options_.naming.decodeFolder, options_.naming.prefix,
                               list_.deviceName(), e.fileNumber);
    outcomes_.push_back(std::move(out));
    matched.push_back(true);
  }
}

// ---- the end of a recording and of the download ---------------------------------------------------

void Download::earlyEnd(const std::string& line16) {
  services_.log(line16 + "\r\n");
  infoLine(line16);
}

void Download::failRecording(const std::string& problem) {
  // Like a refusal: this recording ends, the queue goes on.
  services_.log(" " + lang::text(TextId::UnableToOpenForWriting) + ": " + problem + "\r\n");
  services_.ui().message(lang::text(TextId::UnableToOpenForWriting) + "\n\n" + problem, lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
  if (!outcomes_.empty()) outcome().problem = problem;
  finishFile();
}

void Download::abortRecording(const std::string& problem) {
  services_.log(" " + lang::text(TextId::UnableToOpenForWriting) + ": " + problem + "\r\n");
  infoLine(" " + problem);
  outcome().problem = problem;
  stop();
}

// The transfer of the recording under way is over, however it ended: no wait of it is left.
void Download::endTransfer() {
  services_.stopTimer(session::kTimerBlockData);
  services_.stopTimer(session::kTimerTransferRequest);
  services_.stopTimer(session::kTimerCancelConfirm);
  stopping_ = Stopping::No;
  awaitingEnd_ = false;
  settling_ = false;
}

void Download::finishFile() {
  if (const std::string problem = writer_->closeIm2(); !problem.empty() && outcome().problem.empty())
    outcome().problem = problem;
  endTransfer();

  RecordingOutcome& out = outcome();
  const bool complete = !out.skipped && entry_.pages != 0 && pagesDone_ == entry_.pages && headerStored_;
  if (!out.skipped) out.pagesOnDisk = pagesOnDiskNow();
  if (!out.skipped && rowValid()) list_.setPagesOnDisk(*current_, pagesOnDiskNow());
  if (complete) {
    out.completed = true;
    out.problem.clear();
    writer_->completed();
    services_.log(lang::formatText("\r\n %s: (%s) %s\r\n", {lang::text(TextId::Recording), files_.im2.string(), lang::text(TextId::DownloadComplete)}));
    writer_->closeInfo();
    if (active_ && options_.autoDecrypt) {
      services_.setLineMode();
      convertThenGoOn();
      return;
    }
  } else {
    writer_->closeInfo();
    if (!out.skipped && out.problem.empty())
      out.problem = lang::formatText("%llu of %llu pages on disk", {ull(pagesOnDiskNow()), ull(entry_.pages)});
  }
  goOn(complete);
}

// After a recording: the next one in the queue, or the end of the download.
void Download::goOn(bool complete) {
  services_.setLineMode();
  announceFinish();

  if (active_) {
    if (complete) {
      lastCompleted_ = current_;
      if (rowValid()) list_.setSelected(*current_, false);
    }
    if (queue_) {
      phase_ = 0;
      current_.reset();
      advance();
      return;
    }
  }
  endDownload(Ending::Finished);
}

// The one way a download ends: after its last file, after a lost link, or refused at the start.
void Download::endDownload(Ending how) {
  const bool wasRunning = running_;
  ++waitToken_;  // an answer or a conversion still to come belongs to a download that is over
  waiting_ = Waiting::No;
  starting_ = false;
  if (wasRunning)
    listUnreached(how == Ending::LinkLost
                      ? "the link to the recorder was lost before the download came to this recording"
                      : "the download ended before it came to this recording");
  active_ = false;
  running_ = false;
  services_.setActivity(session::Activity::Download, false);
  phase_ = 0;
  current_.reset();
  queue_.reset();
  stopping_ = Stopping::No;
  if (wasRunning) {
    services_.setActiveTransfer(nullptr);
    services_.setStatusText("");
    services_.setTitleSuffix("");
  }
  // After a lost link the session refreshes the controls itself.
  if (how != Ending::LinkLost) services_.refreshControls();
  if (how == Ending::Finished && lastCompleted_ && loadPlayer)
    loadDownloaded(list_, *lastCompleted_, options_.naming.downloadFolder, options_.naming.prefix, loadPlayer);
  if (wasRunning) services_.ui().progressDone();
  const bool notify = wasRunning || how == Ending::Refused;
  if (how == Ending::Finished && badPagesAccepted_) {
    badPagesAccepted_ = false;
    // The keep-alive starts again once the scan request is out.
    if (services_.sendLine(request::kBadBlockScan, false, [&services = services_] { services.startKeepAlive(); })) {
      scanRequested_ = true;
      services_.setActivity(session::Activity::Scan, true);
    }
    if (notify && onFinished) onFinished();
    return;
  }
  if (how != Ending::LinkLost) services_.startKeepAlive();
  if (notify && onFinished) onFinished();
}

void Download::linkGone() {
  if (!running_) return;  // already ended (the session reports the loss, and the failed send too)
  endTransfer();
  const bool midRecording = current_ && !outcomes_.empty() && !outcome().completed && !outcome().skipped;
  if (midRecording && outcome().problem.empty()) outcome().problem = "the link to the recorder was lost";
  writer_->closeIm2();
  if (midRecording) {
    if (rowValid()) list_.setPagesOnDisk(*current_, pagesOnDiskNow());
    outcome().pagesOnDisk = pagesOnDiskNow();
    // The information file says how its download ended, also when the link went.
    earlyEnd(" " + lang::text(TextId::DownloadInterruptedLinkLost));
  }
  writer_->closeInfo();
  announceFinish();
  endDownload(Ending::LinkLost);
}

// ---- helpers ---------------------------------------------------------------------------------------

void Download::announceFinish() {
  if (finishAnnounced_ || outcomes_.empty()) return;
  finishAnnounced_ = true;
  if (listener_) listener_->onRecordingFinished(outcome());
}

void Download::updateProgress(std::uint64_t blockPages) {
  rate_.onBlock(blockPages, pagesTransferred_, options_.acceleration, services_.now());
  services_.setTitleSuffix(progressTitle(pagesTransferred_, pagesTotal_, rate_.pagesPerMs()));
  services_.setStatusText(remainingTimeText(pagesTransferred_, pagesTotal_, rate_.pagesPerMs()));
  const std::string caption =
      lang::formatText("%s %lu: %.1f MB/min, %s", {lang::text(TextId::DownloadingRecording), static_cast<unsigned long>(entry_.fileNumber),
                                                  megabytesPerMinute(rate_.pagesPerMs()),
                                                  remainingTimeText(pagesTransferred_, pagesTotal_, rate_.pagesPerMs())});
  if (listener_) {
    DownloadProgress p;
    p.fileNumber = entry_.fileNumber;
    p.pagesDone = pagesDone_;
    p.pages = entry_.pages;
    p.transferred = pagesTransferred_;
    p.total = pagesTotal_;
    const double pagesPerMs = rate_.pagesPerMs();
    p.bytesPerSecond = pagesPerMs * 1000.0 * static_cast<double>(kPageSize);
    if (pagesPerMs > 0) {
      const std::uint64_t left = pagesTotal_ > pagesTransferred_ ? pagesTotal_ - pagesTransferred_ : 0;
      p.secondsLeft = static_cast<std::uint64_t>(static_cast<double>(left) / (pagesPerMs * 1000.0) + 0.5);
    }
    p.repeats = outcome().repeats;
    p.badPages = outcome().badPagesAccepted;
    listener_->onDownloadProgress(p);
  }
  if (!services_.ui().progress(caption, pagesTransferred_, pagesTotal_) && active_) requestStop();
}

void Download::infoLine(const std::string& text) { writer_->line(text); }

bool Download::rowValid() const {
  return current_ && *current_ < list_.size() && list_.row(*current_).entry.fileNumber == entry_.fileNumber;
}

}  // namespace recdesk::operations
