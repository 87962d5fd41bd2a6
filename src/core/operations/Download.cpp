#include "operations/Download.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "app/Settings.h"
#include "audio/AudioDecoder.h"
#include "audio/Im2Converter.h"
#include "lang/Strings.h"
#include "ports/UserInterface.h"
#include "session/SessionInfo.h"

namespace fs = std::filesystem;

namespace recdesk::operations {

namespace {

constexpr std::size_t kPage = 528;
// Consecutive transfers restarted at the same place before the recording is given up.
constexpr int kMaxResyncsInRow = 3;
// Fresh requests of a block that keeps failing before its bad pages are accepted.
constexpr int kFreshRequestsBeforeAccepting = 2;

std::string mb(std::uint64_t bytes) { return lang::formatText("%0.1f", {static_cast<double>(bytes) / 1048576.0}); }

// "%05s": right-aligned in 5 characters, filled with "0" on the left when shorter.
std::string zeroPadded5(const std::string& text) {
  return text.size() >= 5 ? text : std::string(5 - text.size(), '0') + text;
}

unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }

}  // namespace

DownloadOptions DownloadOptions::fromSettings(const app::Settings& s) {
  DownloadOptions o;
  o.naming = {s.downloadFolder, s.decryptFolder, s.filePrefix};
  o.autoDecrypt = s.autoDecrypt;
  o.acceleration = normaliseAcceleration(s.acceleration);
  o.baud = s.baud;
  return o;
}

Download::Download(session::SessionServices& services, RecordingList& list) : services_(services), list_(list) {}

Download::~Download() { closeFiles(); }

std::chrono::milliseconds Download::currentBlockTimeout() const { return blockTimeout(blockPages_, options_.baud); }

// ---- start ---------------------------------------------------------------------------------------

bool Download::start(const DownloadOptions& options) {
  if (running_) {
    // Pressed again while the last block of a stop is under way: the download goes on.
    active_ = true;
    services_.flags().download = true;
    return true;
  }
  options_ = options;
  options_.acceleration = normaliseAcceleration(options.acceleration);
  outcomes_.clear();
  asked_.clear();
  scanRequested_ = false;
  active_ = true;
  services_.flags().download = true;
  services_.stopKeepAliveAndReplyWait();

  const auto refuse = [this] {
    active_ = false;
    services_.flags().download = false;
    services_.refreshControls();
    services_.startKeepAlive();
    if (onFinished) onFinished();
    return false;
  };

  if (!checkFolder(options_.naming.downloadFolder)) return refuse();
  if (options_.autoDecrypt && !checkFolder(options_.naming.decodeFolder)) return refuse();

  pagesTotal_ = list_.selectedPagesToTransfer();
  pagesTransferred_ = 0;
  lastCompleted_.reset();
  if (stopPlayback) stopPlayback();

  if (!checkDiskSpace()) return refuse();

  const auto first = list_.firstSelected();
  if (!first) return refuse();
  queue_ = first;
  for (auto row = first; row; row = list_.nextSelected(*row)) asked_.push_back(list_.row(*row).entry);
  badPagesAccepted_ = false;
  place_ = BlockPlace{};  // nothing learnt about a block in an earlier download counts now
  running_ = true;
  kept_.assign(static_cast<std::size_t>(options_.acceleration) * kPage, 0);
  services_.setActiveTransfer(this);
  advance();
  return true;
}

void Download::requestStop() {
  services_.log(" " + lang::text(TextId::StoppingAfterBlock) + "\r\n");
  active_ = false;
  services_.flags().download = false;
}

bool Download::checkFolder(const std::string& folder) {
  const std::string problem = folderProblem(folder);
  auto& ui = services_.ui();
  if (!problem.empty()) {
    ui.message(lang::formatText("%s\n\n%s\n\n%s",
                                {lang::text(TextId::InvalidFolderPath), folder + " (" + problem + ")",
                                 lang::text(TextId::EnterFullPath)}),
               lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
    return false;
  }
  const fs::path path = usableFolder(folder);
  std::error_code ec;
  if (fs::is_directory(path, ec)) return true;
  if (fs::exists(path, ec)) {
    ui.message(lang::formatText("%s\n\n%s\n\n%s", {lang::text(TextId::InvalidFolderPath), path.string(),
                                                   lang::text(TextId::EnterFullPath)}),
               lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
    return false;
  }
  const auto answer =
      ui.message(lang::formatText("%s\n\n%s", {lang::text(TextId::CreateMissingFolder), path.string()}),
                 lang::text(TextId::AppName), ports::Icon::Question, ports::Buttons::YesNo);
  if (answer != ports::Answer::Yes) return false;
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path)) {
    ui.message(lang::formatText("%s\n\n%s\n\n%s",
                                {lang::text(TextId::FolderNotCreated), path.string(), ec.message()}),
               lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
    return false;
  }
  return true;
}

bool Download::checkDiskSpace() {
  const FreeSpaceQuery query = freeSpace ? freeSpace : FreeSpaceQuery(freeSpaceOf);
  DiskSpaceInput in;
  in.im2Need = pagesTotal_ * kPage;
  in.wavNeed = list_.selectedWavBytes();
  in.autoDecode = options_.autoDecrypt;
  const fs::path downloadFolder = usableFolder(options_.naming.downloadFolder);
  const fs::path decodeFolder = usableFolder(options_.naming.decodeFolder);
  in.freeDownload = query(downloadFolder);
  in.freeDecode = options_.autoDecrypt ? query(decodeFolder) : in.freeDownload;
  const DiskSpaceVerdict v = decideDiskSpace(in);
  if (v.ok) return true;
  const std::string where = (v.decodeFolderShort ? decodeFolder : downloadFolder).string();
  services_.ui().message(
      lang::format(TextId::DiskSpaceNeeded, {where, static_cast<double>(v.needed) / 1048576.0,
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
    endDownload();
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

  if (entry_.pages == 0) {
    // Nothing to fetch: a header request would name page -1.
    services_.log(lang::formatText(
        " %s: %lu (0 pages)\r\n",
        {lang::text(TextId::DownloadingRecording), static_cast<unsigned long>(entry_.fileNumber)}));
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
  const std::string question = lang::formatText(
      "%s %s %s MB\r\n %s\r\n%s\r\n%s!", {mb(ec ? 0 : existing), lang::text(TextId::Of), mb(entry_.im2Size),
                                          lang::text(TextId::AlreadyDownloadedInFile), files_.im2.string(),
                                          lang::text(TextId::ChooseRestartSkipContinue)});
  // The answers in the order of ExistingFileChoice; a dismissed question continues, which loses nothing.
  const std::vector<std::string> answers{lang::text(TextId::ChoiceContinue),
                                         lang::text(TextId::ChoiceStartAgain),
                                         lang::text(TextId::ChoiceSkip)};
  ports::ExistingFileChoice choice = ports::ExistingFileChoice::Continue;
  if (existingFileChoice) {
    choice = existingFileChoice(files_);
  } else if (const auto chosen = services_.ui().choose(question, lang::text(TextId::AppName), answers);
             chosen && *chosen < answers.size()) {
    choice = static_cast<ports::ExistingFileChoice>(*chosen);
  }
  switch (choice) {
    case ports::ExistingFileChoice::StartAgain: {
      forgetPagesOnDisk();
      for (const fs::path& file : {files_.im2, files_.info}) {
        std::error_code rmEc;
        fs::remove(file, rmEc);
        if (rmEc) {
          services_.ui().message(
              lang::formatText("%s %s.", {lang::text(TextId::UnableToDelete), file.string()}),
              lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
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
      current_.reset();
      if (queue_ && active_) {
        advance();
      } else {
        endDownload();
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
  for (const fs::path& file : *moved)
    services_.log(" " + lang::text(TextId::OtherRecordingMovedAside) + " " + file.string() + "\r\n");
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

// ---- requests --------------------------------------------------------------------------------------

void Download::sendRequest() {
  repeatLimit_ = repeatLimitFor(services_.portCode());
  blockCounter_ = 0;
  services_.log(lang::formatText(" %s: %lu\r\n", {lang::text(TextId::DownloadingRecording),
                                                  static_cast<unsigned long>(entry_.fileNumber)}));

  // The IM2 file: created when missing, never truncated except to cut a partial page.
  im2_ = std::make_unique<audio::CFile64>();
  audio::FileError error;
  if (!im2_->Open(files_.im2.string(), audio::CFile64::kReadWrite, audio::CFile64::kShareRead,
                  audio::CFile64::kOpenAlways, &error)) {
    im2_.reset();
    failRecording(error.describe());
    return;
  }
  info_.open(files_.info, std::ios::binary | std::ios::app);
  if (!info_.is_open()) {
    closeFiles();
    failRecording("the information file " + files_.info.string() + " cannot be opened for writing");
    return;
  }

  std::uint64_t length = 0;
  try {
    length = im2_->GetLength();
    const std::uint64_t whole = length / kPage * kPage;
    if (whole != length) {
      // A partial page from an interrupted write: continue from the last whole page.
      services_.log(lang::formatText(" %s: %llu -> %llu\r\n", {files_.im2.string(), ull(length), ull(whole)}));
      im2_->Seek(whole, audio::CFile64::kBegin);
      im2_->SetEndOfFile();
      length = whole;
    }
    im2_->Seek(0, audio::CFile64::kEnd);
  } catch (const audio::FileError& e) {
    closeFiles();
    failRecording(e.describe());
    return;
  }
  pagesDone_ = length / kPage;
  measured_ = true;
  services_.log(lang::text(TextId::ReportRule) + "\r\n");
  infoLine(lang::text(TextId::ReportRule));

  if (pagesDone_ != 0) {
    pagesDone_ -= 1;  // the header page is not a data page
    headerStored_ = true;
    clearRepeatState();
    dataRequest();
    return;
  }

  infoLine(lang::text(TextId::DownloadReport));
  infoLine("");
  infoLine(lang::text(TextId::Device) + ": " + zeroPadded5(list_.deviceName()));
  infoLine(lang::formatText("%s: %lu",
                            {lang::text(TextId::FileNumber), static_cast<unsigned long>(entry_.fileNumber)}));
  infoLine(lang::formatText("%s: %u Hz",
                            {lang::text(TextId::SampleRate), static_cast<unsigned>(entry_.sampleRate)}));
  infoLine(lang::formatText("%s: %u",
                            {lang::text(TextId::EncodedBits), static_cast<unsigned>(entry_.encodedBits)}));
  infoLine(
      lang::formatText("%s: %u", {lang::text(TextId::Channels), static_cast<unsigned>(entry_.channels)}));
  infoLine(lang::text(TextId::DownloadRecordingStart) + entry_.start.format(": %Y/%m/%d %H:%M:%S"));
  infoLine(lang::formatText(
      "%s: %.0f:%02ld:%02ld",
      {lang::text(TextId::RecordingDuration), static_cast<double>(entry_.durationSeconds / 3600),
       static_cast<long>(entry_.durationSeconds / 60 % 60), static_cast<long>(entry_.durationSeconds % 60)}));
  infoLine(lang::text(TextId::ReportRule));
  infoLine("");
  infoLine(lang::text(TextId::DownloadLog));
  infoLine("");
  infoLine(lang::text(TextId::RequestedPagesFollow));
  infoLine(lang::text(TextId::Im2File) + ": " + files_.im2Name);

  phase_ = 1;
  blockPages_ = 1;
  clearRepeatState();
  const std::uint64_t last = entry_.pages - 1;
  send(lang::formatText("$R5,DNL,%lu,%lld,%lld,%d\r\n", {static_cast<unsigned long>(entry_.fileNumber),
                                                          static_cast<long long>(last), static_cast<long long>(last), 1}),
       true);
}

void Download::dataRequest() {
  phase_ = 2;
  awaitingEnd_ = false;
  firstPage_ = pagesDone_;
  infoLine(lang::formatText("%s: %llu %s %llu", {lang::text(TextId::RequestedFromPage), ull(pagesDone_),
                                                 lang::text(TextId::Of), ull(entry_.pages)}));
  if (services_.inBlockMode()) services_.setLineMode();
  if (pagesDone_ >= entry_.pages) {
    finishFile();
    return;
  }
  send(lang::formatText("$R5,DNL,%lu,%lld,%lld,%u\r\n",
                        {static_cast<unsigned long>(entry_.fileNumber), static_cast<long long>(pagesDone_),
                         static_cast<long long>(entry_.pages - 1), static_cast<unsigned>(options_.acceleration)}),
       true);
}

void Download::onRequestAccepted() {
  if (!running_ || phase_ == 0 || stopping_ != Stopping::No) return;
  services_.stopTimer(session::kTimerTransferRequest);
  clearRepeatState();
  services_.setBlockMode(session::BlockReceiver::Download);
  if (active_) {
    requestNextBlock();
  } else {
    stop();
  }
}

void Download::requestNextBlock() {
  if (phase_ == 1) {
    blockPages_ = 1;
  } else {
    const std::uint64_t left = entry_.pages > pagesDone_ ? entry_.pages - pagesDone_ : 0;
    blockPages_ = static_cast<std::uint16_t>(std::min<std::uint64_t>(options_.acceleration, left));
  }
  settling_ = false;
  lastControl_ = 'n';
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPage);
  services_.startTimer(session::kTimerBlockData, currentBlockTimeout());
  sendControl('n');
}

void Download::repeatBlock() {
  settling_ = false;
  lastControl_ = 'r';
  services_.log(".");
  ++outcome().repeats;
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPage);
  services_.startTimer(session::kTimerBlockData, currentBlockTimeout());
  sendControl('r');
}

void Download::clearRepeatState() {
  // The fresh requests and the sound pages of a block outlive this: they belong to the block's place
  // (see followBlockPlace), and a fresh request comes back through here.
  repeatCount_ = 0;
  identicalCount_ = 0;
  std::fill(kept_.begin(), kept_.end(), std::uint8_t{0});
}

// ---- repeats that stay aligned -------------------------------------------------------------------
//
// A copy arrives in pieces (USB packets, driver latency), so when the host sees that one went wrong
// (more bytes than the block holds, a failed check, a time-out with part of a block) the rest of it,
// or a doubled copy, may still be on its way. Asking again at once would put those bytes in front of
// the repeat: the host would assemble the tail of one copy and the head of the next, the same way
// every time. So the repeat waits until the link has been quiet for a short gap (timer 10 with the
// gap's period, started again whenever bytes arrive) and discards what waits once more.

void Download::settleThenRepeat() {
  services_.discardInput();
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPage);
  settling_ = true;
  settleStart_ = services_.now();
  services_.startTimer(session::kTimerBlockData, quietGap(options_.baud));
}

void Download::bytesWhileSettling() {
  if (endLineInBlock()) {
    settling_ = false;
    transferEndedEarly();
    return;
  }
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPage);
  if (services_.now() - settleStart_ > currentBlockTimeout()) {
    // The link never falls quiet: only a new transfer brings the recorder back to a block's start.
    requestAfresh();
    return;
  }
  services_.startTimer(session::kTimerBlockData, quietGap(options_.baud));
}

void Download::quietGapEnded() {
  settling_ = false;
  services_.discardInput();
  if (active_) {
    repeatBlock();
  } else {
    stop();
  }
}

// Cancel, wait for the confirmation, then a new request from the block's first page: the copy that
// follows starts where the block starts, whatever was on its way before.
void Download::requestAfresh() {
  ++outcome().freshRequests;
  settling_ = false;
  services_.log(lang::formatText(" page %llu: block requested afresh\r\n", {ull(expectedPageNumber(0))}));
  services_.stopTimer(session::kTimerBlockData);
  services_.discardInput();
  services_.blockBuffer().clear(0);
  services_.setLineMode();
  stopping_ = Stopping::Resync;
  if (!sendControl('c')) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
}

// The fresh requests and the sound pages count for one block; another block starts them anew.
void Download::followBlockPlace() {
  const BlockPlace here{entry_.fileNumber, phase_, expectedPageNumber(0), blockPages_};
  if (here == place_) return;
  place_ = here;
  freshRequests_ = 0;
  soundPages_.assign(static_cast<std::size_t>(blockPages_) * kPage, 0);
  soundSeen_.assign(blockPages_, false);
  badCandidates_.assign(static_cast<std::size_t>(blockPages_) * kPage, 0);
  badVotes_.assign(blockPages_, 0);
}

void Download::notePages(const std::vector<std::size_t>& badPages) {
  const session::BlockBuffer& buffer = services_.blockBuffer();
  for (std::size_t i = 0, b = 0; i < blockPages_ && i < soundSeen_.size(); ++i) {
    const std::uint8_t* page = buffer.data.data() + i * kPage;
    if (b < badPages.size() && badPages[b] == i) {
      ++b;
      // Only a page in its right place (file and page number) takes part: a copy cut out of the
      // stream at the wrong place brings no page at all.
      if (pageFaults(page, entry_.fileNumber, expectedPageNumber(i)) != kPageCheck) continue;
      std::uint8_t* candidate = badCandidates_.data() + i * kPage;
      if (badVotes_[i] > 0 && std::memcmp(candidate, page, kPage) == 0) {
        ++badVotes_[i];
      } else if (badVotes_[i] > 0) {
        --badVotes_[i];
      } else {
        std::memcpy(candidate, page, kPage);
        badVotes_[i] = 1;
      }
      continue;
    }
    std::memcpy(soundPages_.data() + i * kPage, page, kPage);
    soundSeen_[i] = true;
  }
}

// A page that passed its checks in another copy of this block is no bad page: it takes the place of
// the failed one. What is left is bad in every copy that came, and is stored as most copies brought
// it.
std::vector<std::size_t> Download::mendFromSoundPages(const std::vector<std::size_t>& badPages) {
  session::BlockBuffer& buffer = services_.blockBuffer();
  std::vector<std::size_t> left;
  for (const std::size_t i : badPages) {
    if (i < soundSeen_.size() && soundSeen_[i]) {
      std::memcpy(buffer.data.data() + i * kPage, soundPages_.data() + i * kPage, kPage);
      continue;
    }
    if (i < badVotes_.size() && badVotes_[i] > 0)
      std::memcpy(buffer.data.data() + i * kPage, badCandidates_.data() + i * kPage, kPage);
    left.push_back(i);
  }
  return left;
}

// ---- block data ------------------------------------------------------------------------------------

void Download::onBlockData() {
  if (!running_ || (phase_ != 1 && phase_ != 2) || awaitingEnd_ || stopping_ != Stopping::No) return;
  const session::BlockBuffer& buffer = services_.blockBuffer();
  const std::size_t expected = static_cast<std::size_t>(blockPages_) * kPage;
  if (expected == 0) return;
  if (settling_) {
    bytesWhileSettling();
    return;
  }
  if (buffer.received < expected && buffer.overrun == 0) {
    if (endLineInBlock()) transferEndedEarly();
    return;
  }
  blockComplete();
}

bool Download::endLineInBlock() const {
  // A recorder that has moved past the last page (a block lost on the way) ends the transfer with
  // its end line while the host waits for block data: the line lands in the block buffer.
  static constexpr std::string_view kEnd = "$R5,MSG,DNL,END,";
  const session::BlockBuffer& buffer = services_.blockBuffer();
  if (buffer.received < kEnd.size() + 1) return false;
  const auto* data = reinterpret_cast<const char*>(buffer.data.data());
  if (std::string_view(data, kEnd.size()) != kEnd) return false;
  return std::string_view(data, buffer.received).find('\r') != std::string_view::npos;
}

void Download::transferEndedEarly() {
  services_.stopTimer(session::kTimerBlockData);
  services_.setLineMode();
  services_.blockBuffer().clear(0);
  ++outcome().resyncs;
  ++resyncsInRow_;
  services_.log(lang::formatText(" the transfer ended before page %llu: requesting again\r\n",
                                 {ull(phase_ == 1 ? entry_.pages - 1 : pagesDone_)}));
  if (resyncsInRow_ > kMaxResyncsInRow) {
    outcome().problem = "the recorder keeps ending the transfer early";
    earlyEnd(" " + outcome().problem);
    finishFile();
    return;
  }
  // The recorder's transfer is over: ask again from the first missing page.
  stopping_ = Stopping::Resync;
  afterResyncCancel();
}

std::uint64_t Download::expectedPageNumber(std::size_t indexInBlock) const {
  return phase_ == 1 ? entry_.pages - 1 : pagesDone_ + indexInBlock;
}

void Download::blockComplete() {
  services_.stopTimer(session::kTimerBlockData);
  session::BlockBuffer& buffer = services_.blockBuffer();
  const std::size_t bytes = static_cast<std::size_t>(blockPages_) * kPage;

  if (buffer.overrun > 0) {
    // More bytes than the block holds: the copy cannot be trusted.
    services_.log("v");
    emptyTimeouts_ = 0;
    services_.discardInput();
    if (active_) {
      settleThenRepeat();
    } else {
      stop();
    }
    return;
  }

  std::vector<std::size_t> bad;
  std::optional<std::uint64_t> misplacedAt;
  for (std::size_t i = 0; i < blockPages_; ++i) {
    const std::uint8_t* page = buffer.data.data() + i * kPage;
    const unsigned faults = pageFaults(page, entry_.fileNumber, expectedPageNumber(i));
    if (faults == kPageSound) continue;
    if (faults == kPageMisplaced && !misplacedAt) misplacedAt = readTrailer(page).pageNumber;
    bad.push_back(i);
  }

  if (misplacedAt) {
    // A sound page of another place: the recorder is not where the host is. Storing it would put
    // audio at the wrong position, and "r" would only bring the same wrong block again.
    resync(*misplacedAt);
    return;
  }

  if (!bad.empty()) {
    followBlockPlace();
    notePages(bad);
    if (identicalCount_ < 10 && repeatCount_ <= repeatLimit_) {
      if (repeatCount_ == 0) {
        std::memcpy(kept_.data(), buffer.data.data(), bytes);
      } else if (std::memcmp(kept_.data(), buffer.data.data(), bytes) == 0) {
        ++identicalCount_;
      } else {
        std::memcpy(kept_.data(), buffer.data.data(), bytes);
        identicalCount_ = 0;
      }
      ++repeatCount_;
      settleThenRepeat();
      return;
    }
    // The repeat limit, or 10 identical copies. Copies that followed "r" may all have been cut
    // the same wrong way out of the stream: the block is requested afresh before its pages are
    // given up.
    if (freshRequests_ < kFreshRequestsBeforeAccepting) {
      ++freshRequests_;
      requestAfresh();
      return;
    }
    const bool identical = identicalCount_ >= 10;
    bad = mendFromSoundPages(bad);
    if (!bad.empty() && identical) badPagesAccepted_ = true;
    acceptBlock(bad, identical && !bad.empty());
    return;
  }
  acceptBlock(bad, false);
}

void Download::acceptBlock(const std::vector<std::size_t>& badPages, bool afterIdenticalCopies,
                           const std::vector<std::size_t>& wrongPlace) {
  const session::BlockBuffer& buffer = services_.blockBuffer();
  const std::size_t bytes = static_cast<std::size_t>(blockPages_) * kPage;
  const auto listWrongPlace = [&] {
    for (const std::size_t i : wrongPlace) {
      const PageTrailer carried = readTrailer(buffer.data.data() + i * kPage);
      const std::uint64_t page = expectedPageNumber(i);
      const std::string line = lang::formatText(
          "%s: %s: %s %s: %05u %s: %lld (%s %u, %s %u)",
          {lang::text(TextId::PageStoredAsSent), lang::text(TextId::Recorder), list_.deviceName(),
           lang::text(TextId::File), static_cast<unsigned>(entry_.fileNumber), lang::text(TextId::Page),
           static_cast<long long>(page), lang::text(TextId::File), static_cast<unsigned>(carried.fileNumber),
           lang::text(TextId::Page), static_cast<unsigned>(carried.pageNumber)});
      infoLine(line);
      services_.log("\r\n" + line + "\r\n\r\n");
      outcome().wrongPlacePages.push_back(page);
    }
  };

  if (phase_ == 1) {
    try {
      writeBlock(buffer.data.data(), bytes);
    } catch (const audio::FileError& e) {
      abortRecording(e.describe());
      return;
    }
    headerStored_ = true;
    listWrongPlace();
    if (badPages.empty()) {
      if (checkHeaderFormat) {
        checkHeaderFormat(buffer.data.data());
      } else {
        audio::AudioDecoder decoder;
        decoder.setPage(buffer.data.data());
        decoder.ParseHeader(false);
        decoder.CheckFormatVersion(&services_.ui());
      }
    }
  } else {
    try {
      writeBlock(buffer.data.data(), bytes);
    } catch (const audio::FileError& e) {
      abortRecording(e.describe());
      return;
    }
    if (!badPages.empty()) {
      for (const std::size_t i : badPages) {
        const std::string line = lang::formatText(
            "%s: %s: %s %s: %05u %s: %lld",
            {lang::text(afterIdenticalCopies ? TextId::BadPageAcceptedAfterCopies : TextId::BadPage),
             lang::text(TextId::Recorder), list_.deviceName(), lang::text(TextId::File),
             static_cast<unsigned>(entry_.fileNumber), lang::text(TextId::Page),
             static_cast<long long>(pagesDone_ + i)});
        infoLine(line);
        services_.log("\r\n" + line + "\r\n\r\n");
      }
      outcome().badPagesAccepted += badPages.size();
      if (rowValid()) list_.setBadPages(*current_, list_.row(*current_).entry.badPages + badPages.size());
    }
    listWrongPlace();
    pagesDone_ += blockPages_;
    pagesTransferred_ += blockPages_;
    outcome().pagesTransferred += blockPages_;
    ++blockCounter_;
    if (rowValid() && (!badPages.empty() || !wrongPlace.empty() || blockCounter_ % 16 == 0))
      list_.setPagesOnDisk(*current_, pagesDone_);
    updateProgress(blockPages_);
  }

  repeatCount_ = 0;
  identicalCount_ = 0;
  emptyTimeouts_ = 0;
  resyncsInRow_ = 0;

  if (phase_ == 1 || pagesDone_ >= entry_.pages) {
    // Everything asked for is here: one more "n" lets the recorder end the transfer with its end
    // line, which arrives in line mode.
    awaitingEnd_ = true;
    services_.setLineMode();
    requestNextBlock();
    return;
  }
  if (active_) {
    requestNextBlock();
  } else {
    stop();
  }
}

void Download::writeBlock(const std::uint8_t* data, std::size_t bytes) {
  if (!im2_ || !im2_->isOpen()) throw audio::FileError(audio::FileError::kInvalidFile, 0, files_.im2.string());
  im2_->Write(data, bytes);
}

void Download::resync(std::uint64_t gotPage) {
  const std::uint64_t wanted = phase_ == 1 ? entry_.pages - 1 : pagesDone_;
  if (resyncsInRow_ >= kMaxResyncsInRow) {
    // The same answer after every restart: the recorder holds these pages under other numbers.
    // Giving up would leave the rest of the recording behind; the pages go where they were asked
    // for and are listed as such.
    services_.log(lang::formatText(" page %llu came where page %llu belongs again: stored as sent\r\n",
                                   {ull(gotPage), ull(wanted)}));
    acceptWrongPlace();
    return;
  }
  ++outcome().resyncs;
  ++resyncsInRow_;
  services_.log(lang::formatText(" page %llu came where page %llu belongs: requesting again\r\n",
                                 {ull(gotPage), ull(wanted)}));
  services_.stopTimer(session::kTimerBlockData);
  services_.discardInput();
  services_.blockBuffer().clear(0);
  services_.setLineMode();
  stopping_ = Stopping::Resync;
  if (!sendControl('c')) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
}

void Download::acceptWrongPlace() {
  const session::BlockBuffer& buffer = services_.blockBuffer();
  std::vector<std::size_t> bad;
  std::vector<std::size_t> wrongPlace;
  for (std::size_t i = 0; i < blockPages_; ++i) {
    const unsigned faults = pageFaults(buffer.data.data() + i * kPage, entry_.fileNumber, expectedPageNumber(i));
    if (faults & kPageMisplaced) {
      wrongPlace.push_back(i);
    } else if (faults != kPageSound) {
      bad.push_back(i);
    }
  }
  acceptBlock(bad, false, wrongPlace);
}

void Download::afterResyncCancel() {
  services_.stopTimer(session::kTimerCancelConfirm);
  stopping_ = Stopping::No;
  clearRepeatState();
  if (!active_) {
    earlyEnd(
        lang::formatText(" %s: %llu", {lang::text(TextId::DownloadCancelledPagesDone), ull(pagesDone_)}));
    finishFile();
    return;
  }
  if (phase_ == 1) {
    send(lang::formatText("$R5,DNL,%lu,%lld,%lld,%d\r\n",
                          {static_cast<unsigned long>(entry_.fileNumber), static_cast<long long>(entry_.pages - 1),
                           static_cast<long long>(entry_.pages - 1), 1}),
         true);
  } else {
    dataRequest();
  }
}

// ---- end of a transfer -----------------------------------------------------------------------------

void Download::onEndOfTransfer() {
  if (!running_ || phase_ == 0) return;
  services_.stopTimer(session::kTimerBlockData);
  if (stopping_ == Stopping::Resync) {
    afterResyncCancel();
    return;
  }
  if (stopping_ == Stopping::Cancel) return;  // the cancel confirmation (or its time-out) finishes
  if (phase_ == 2) {
    finishFile();
    return;
  }
  if (!headerStored_) {
    earlyEnd(" " + lang::text(TextId::DownloadRefused));
    outcome().problem = "the recorder ended the transfer without sending the header page";
    finishFile();
    return;
  }
  if (active_) {
    dataRequest();
  } else {
    earlyEnd(lang::formatText(" %s.", {lang::text(TextId::DownloadStoppedAfterHeader)}));
    finishFile();
  }
}

void Download::onCancelConfirmed() {
  if (!running_ || phase_ == 0) return;
  services_.stopTimer(session::kTimerCancelConfirm);
  if (stopping_ == Stopping::Resync) {
    afterResyncCancel();
    return;
  }
  earlyEnd(lang::formatText(" %s: %llu", {lang::text(TextId::DownloadCancelledPagesDone), ull(pagesDone_)}));
  finishFile();
}

void Download::onRefused() {
  if (!running_ || phase_ == 0) return;
  services_.stopTimer(session::kTimerTransferRequest);
  earlyEnd(" " + lang::text(TextId::DownloadRefused));
  if (outcome().problem.empty()) outcome().problem = "the recorder refused the request";
  finishFile();
}

void Download::stop() {
  services_.stopTimer(session::kTimerBlockData);
  services_.discardInput();
  services_.blockBuffer().clear(0);
  services_.setLineMode();
  stopping_ = Stopping::Cancel;
  if (!sendControl('c')) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
  services_.log(lang::formatText(" %s %s\r\n", {lang::text(TextId::StoppingTransfer), ""}));
}

void Download::earlyEnd(const std::string& line16) {
  services_.log(line16 + "\r\n");
  infoLine(line16);
}

void Download::failRecording(const std::string& problem) {
  // Like a refusal: this recording ends, the queue goes on.
  services_.log(" " + lang::text(TextId::UnableToOpenForWriting) + ": " + problem + "\r\n");
  services_.ui().message(lang::text(TextId::UnableToOpenForWriting) + "\n\n" + problem,
                         lang::text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
  if (!outcomes_.empty()) outcome().problem = problem;
  finishFile();
}

void Download::abortRecording(const std::string& problem) {
  services_.log(" " + lang::text(TextId::UnableToOpenForWriting) + ": " + problem + "\r\n");
  infoLine(" " + problem);
  outcome().problem = problem;
  stop();
}

void Download::finishFile() {
  if (im2_) {
    try {
      im2_->Close();
    } catch (const audio::FileError& e) {
      if (outcome().problem.empty()) outcome().problem = e.describe();
    }
    im2_.reset();
  }
  services_.stopTimer(session::kTimerBlockData);
  services_.stopTimer(session::kTimerTransferRequest);
  services_.stopTimer(session::kTimerCancelConfirm);
  stopping_ = Stopping::No;
  awaitingEnd_ = false;

  RecordingOutcome& out = outcome();
  const bool complete = !out.skipped && entry_.pages != 0 && pagesDone_ == entry_.pages && headerStored_;
  if (!out.skipped) out.pagesOnDisk = pagesOnDiskNow();
  if (!out.skipped && rowValid()) list_.setPagesOnDisk(*current_, pagesOnDiskNow());
  if (complete) {
    out.completed = true;
    out.problem.clear();
    infoLine(lang::formatText("%s.", {lang::text(TextId::DownloadComplete)}));
    infoLine("");
    infoLine(lang::text(TextId::ReportRule));
    infoLine(lang::text(TextId::EndOfReport));
    services_.log(lang::formatText(
        "\r\n %s: (%s) %s\r\n",
        {lang::text(TextId::Recording), files_.im2.string(), lang::text(TextId::DownloadComplete)}));
    if (info_.is_open()) info_.close();
    if (active_ && options_.autoDecrypt) {
      if (convert) {
        out.conversion = convert(files_);
      } else {
        const auto result = audio::convertRecording(
            services_.ui(), [this](const std::string& text) { services_.log(text); }, files_.im2.string(),
            files_.wav.string(), files_.info.string(), services_.settings());
        ConversionOutcome c;
        c.ok = result.ok();
        c.message = result.message;
        for (const auto& part : result.parts) {
          c.files.emplace_back(part.wavPath);
          c.files.emplace_back(part.infoPath);
        }
        out.conversion = c;
      }
    }
  } else {
    if (info_.is_open()) info_.close();
    if (!out.skipped && out.problem.empty())
      out.problem = lang::formatText("%llu of %llu pages on disk", {ull(pagesOnDiskNow()), ull(entry_.pages)});
  }
  services_.setLineMode();

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
  endDownload();
}

void Download::endDownload() {
  if (running_) listUnreached("the download ended before it came to this recording");
  active_ = false;
  services_.flags().download = false;
  services_.setStatusText("");
  services_.refreshControls();
  services_.setTitleSuffix("");
  if (lastCompleted_ && loadPlayer)
    loadDownloaded(list_, *lastCompleted_, options_.naming.downloadFolder, options_.naming.prefix, loadPlayer);
  phase_ = 0;
  current_.reset();
  queue_.reset();
  const bool wasRunning = running_;
  running_ = false;
  services_.setActiveTransfer(nullptr);
  services_.ui().progressDone();
  if (badPagesAccepted_) {
    badPagesAccepted_ = false;
    if (!services_.sendLine("$R5,BAD\r\n", false)) {
      if (wasRunning && onFinished) onFinished();
      return;
    }
    scanRequested_ = true;
  }
  services_.startKeepAlive();
  if (wasRunning && onFinished) onFinished();
}

// ---- time-outs -------------------------------------------------------------------------------------

void Download::onBlockTimeout() {
  services_.stopTimer(session::kTimerBlockData);
  if (!running_ || phase_ == 0 || stopping_ != Stopping::No) return;
  if (settling_) {
    quietGapEnded();
    return;
  }
  if (!active_) {
    stop();
    return;
  }
  if (!awaitingEnd_ && services_.blockBuffer().received > 0) {
    services_.log(":");
    emptyTimeouts_ = 0;
    settleThenRepeat();
    return;
  }
  ++emptyTimeouts_;
  services_.log("|");
  if (emptyTimeouts_ > (phase_ == 1 ? 10 : 20)) {
    active_ = false;
    services_.flags().download = false;
    outcome().problem = "the recorder stopped sending";
    services_.refreshControls();
    stop();
    return;
  }
  // Ask again the way the host asked last: after an "r" the recorder did not hear, an "n" would
  // move it on past the block the host still needs.
  if (lastControl_ == 'r') {
    repeatBlock();
  } else {
    requestNextBlock();
  }
}

void Download::onRequestTimeout() {
  services_.stopTimer(session::kTimerTransferRequest);
  services_.log(lang::formatText(" %s %s.\r\n",
                                 {lang::text(TextId::NoReplyToThe), lang::text(TextId::DownloadRequest)}));
  if (!running_ || (phase_ != 1 && phase_ != 2)) return;
  if (outcome().problem.empty()) outcome().problem = "the recorder did not answer the request";
  stop();
}

void Download::onConfirmationTimeout() {
  services_.stopTimer(session::kTimerCancelConfirm);
  services_.log(" " + lang::text(TextId::CancelNotConfirmed) + "\r\n");
  if (!running_ || (phase_ != 1 && phase_ != 2)) return;
  if (stopping_ == Stopping::Resync) {
    afterResyncCancel();
    return;
  }
  infoLine(" " + lang::text(TextId::CancelNotConfirmed));
  finishFile();
}

void Download::onLinkLost() { linkGone(); }

void Download::linkGone() {
  if (!running_) return;  // already ended (the session reports the loss, and the failed send too)
  services_.stopTimer(session::kTimerBlockData);
  services_.stopTimer(session::kTimerTransferRequest);
  services_.stopTimer(session::kTimerCancelConfirm);
  const bool midRecording = current_ && !outcomes_.empty() && !outcome().completed && !outcome().skipped;
  if (midRecording && outcome().problem.empty()) outcome().problem = "the link to the recorder was lost";
  if (im2_) {
    try {
      im2_->Close();
    } catch (const audio::FileError&) {
    }
    im2_.reset();
  }
  if (midRecording) {
    if (rowValid()) list_.setPagesOnDisk(*current_, pagesOnDiskNow());
    outcome().pagesOnDisk = pagesOnDiskNow();
    // The information file says how its download ended, also when the link went.
    earlyEnd(" " + lang::text(TextId::DownloadInterruptedLinkLost));
  }
  if (info_.is_open()) info_.close();
  listUnreached("the link to the recorder was lost before the download came to this recording");
  active_ = false;
  running_ = false;
  services_.flags().download = false;
  phase_ = 0;
  current_.reset();
  queue_.reset();
  stopping_ = Stopping::No;
  services_.setActiveTransfer(nullptr);
  services_.setStatusText("");
  services_.setTitleSuffix("");
  services_.ui().progressDone();
  if (onFinished) onFinished();
}

// ---- helpers ---------------------------------------------------------------------------------------

bool Download::send(const std::string& line, bool request) {
  // A request's time-out (timer 13) runs from the moment its last byte is out.
  session::SessionServices::AfterSent afterSent;
  if (request)
    afterSent = [&services = services_] {
      services.startTimer(session::kTimerTransferRequest, std::chrono::milliseconds(1000));
    };
  if (services_.sendLine(line, false, std::move(afterSent))) return true;
  linkGone();
  return false;
}

bool Download::sendControl(char byte) {
  if (services_.sendByte(static_cast<std::uint8_t>(byte))) return true;
  linkGone();
  return false;
}

void Download::updateProgress(std::uint64_t blockPages) {
  rate_.onBlock(blockPages, pagesTransferred_, options_.acceleration, services_.now());
  services_.setTitleSuffix(progressTitle(pagesTransferred_, pagesTotal_, rate_.pagesPerMs()));
  services_.setStatusText(remainingTimeText(pagesTransferred_, pagesTotal_, rate_.pagesPerMs()));
  const std::string caption =
      lang::formatText("%s %lu: %.1f MB/min, %s",
                       {lang::text(TextId::DownloadingRecording),
                        static_cast<unsigned long>(entry_.fileNumber), megabytesPerMinute(rate_.pagesPerMs()),
                        remainingTimeText(pagesTransferred_, pagesTotal_, rate_.pagesPerMs())});
  if (!services_.ui().progress(caption, pagesTransferred_, pagesTotal_) && active_) requestStop();
}

void Download::infoLine(const std::string& text) {
  if (!info_.is_open()) return;
  info_ << text << "\r\n";
}

void Download::closeFiles() {
  if (im2_) {
    try {
      im2_->Close();
    } catch (const audio::FileError&) {
    }
    im2_.reset();
  }
  if (info_.is_open()) info_.close();
}

bool Download::rowValid() const {
  return current_ && *current_ < list_.size() && list_.row(*current_).entry.fileNumber == entry_.fileNumber;
}

}  // namespace recdesk::operations
