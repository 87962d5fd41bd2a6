// The transfer of one recording: the header request, the data requests, block after block with
// its verdict, the repeats that stay aligned with the recorder's stream, the restarts and the
// time-outs. The queue of recordings around it is in DownloadQueue.cpp.
#include "operations/Download.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioDecoder.h"
#include "FlashPage.h"
#include "lang/Strings.h"
#include "operations/BlockVerdict.h"
#include "operations/DownloadFiles.h"
#include "operations/DownloadRequests.h"
#include "ports/UserInterface.h"
#include "session/SessionInfo.h"

namespace recdesk::operations {

namespace {
// The end line of a download transfer (it may land in the block buffer).
constexpr std::string_view kDownloadEnd = "$R5,MSG,DNL,END,";

// Consecutive transfers restarted at the same place before the recording is given up.
constexpr int kMaxResyncsInRow = 3;

}  // namespace

std::chrono::milliseconds Download::currentBlockTimeout() const { return blockTimeout(blockPages_, options_.baud); }

// ---- requests --------------------------------------------------------------------------------------

void Download::sendRequest() {
  repeatLimit_ = repeatLimitFor(services_.portCode());
  blockCounter_ = 0;
  services_.log(lang::formatText(" %s: %lu\r\n", {lang::text(TextId::DownloadingRecording), static_cast<unsigned long>(entry_.fileNumber)}));

  // The IM2 file: created when missing, never truncated except to cut a partial page.
  std::string problem;
  const auto pages = writer_->open(files_, [this](const std::string& text) { services_.log(text); }, problem);
  if (!pages) {
    failRecording(problem);
    return;
  }
  pagesDone_ = *pages;
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

  writer_->describe(entry_, list_.deviceName(), files_.im2Name);

  phase_ = 1;
  blockPages_ = 1;
  clearRepeatState();
  sendTransferRequest(request::header(entry_.fileNumber, entry_.pages));
}

void Download::sendTransferRequest(const std::string& line) {
  // The request's time-out (timer 13) runs from the moment its last byte is out.
  send(line, [&services = services_] {
    services.startTimer(session::kTimerTransferRequest, std::chrono::milliseconds(1000));
  });
}

void Download::dataRequest() {
  phase_ = 2;
  awaitingEnd_ = false;
  firstPage_ = pagesDone_;
  infoLine(lang::formatText("%s: %llu %s %llu", {lang::text(TextId::RequestedFromPage), ull(pagesDone_), lang::text(TextId::Of), ull(entry_.pages)}));
  if (services_.inBlockMode()) services_.setLineMode();
  if (pagesDone_ >= entry_.pages) {
    finishFile();
    return;
  }
  sendTransferRequest(request::data(entry_.fileNumber, pagesDone_, entry_.pages, options_.acceleration));
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
  lastControl_ = request::kNextBlock;
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  services_.startTimer(session::kTimerBlockData, currentBlockTimeout());
  sendControl(request::kNextBlock);
}

void Download::repeatBlock() {
  settling_ = false;
  lastControl_ = request::kRepeatBlock;
  services_.log(".");
  ++outcome().repeats;
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  services_.startTimer(session::kTimerBlockData, currentBlockTimeout());
  sendControl(request::kRepeatBlock);
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
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  settling_ = true;
  settleStart_ = services_.now();
  services_.startTimer(session::kTimerBlockData, quietGap(options_.baud));
}

void Download::bytesWhileSettling() {
  if (services_.blockBuffer().holdsLine(kDownloadEnd)) {
    settling_ = false;
    transferEndedEarly();
    return;
  }
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
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
  cancelToRequestAgain();
}

// Ends the transfer under way so that a new request can start again at the block's first page:
// what waits is dropped, and the recorder's cancel confirmation (timer 12) leads to that request.
void Download::cancelToRequestAgain() {
  services_.stopTimer(session::kTimerBlockData);
  services_.discardInput();
  services_.blockBuffer().clear(0);
  services_.setLineMode();
  stopping_ = Stopping::Resync;
  if (!sendControl(request::kCancel)) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
}

// The fresh requests and the copies count for one block; another block starts them anew.
void Download::followBlockPlace() {
  const BlockPlace here = currentPlace();
  if (here == place_) return;
  place_ = here;
  freshRequests_ = 0;
  copies_.reset(blockPages_);
}

Download::BlockPlace Download::currentPlace() const {
  return BlockPlace{entry_.fileNumber, phase_, expectedPageNumber(0), blockPages_};
}

ExpectedBlock Download::expectedBlock() const { return {entry_.fileNumber, expectedPageNumber(0), blockPages_}; }

// ---- block data ------------------------------------------------------------------------------------

void Download::onBlockData() {
  if (!running_ || (phase_ != 1 && phase_ != 2) || awaitingEnd_ || stopping_ != Stopping::No) return;
  const session::BlockBuffer& buffer = services_.blockBuffer();
  const std::size_t expected = static_cast<std::size_t>(blockPages_) * kPageSize;
  if (expected == 0) return;
  if (settling_) {
    bytesWhileSettling();
    return;
  }
  if (buffer.received < expected && buffer.overrun == 0) {
    if (services_.blockBuffer().holdsLine(kDownloadEnd)) transferEndedEarly();
    return;
  }
  blockComplete();
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
  const std::size_t bytes = static_cast<std::size_t>(blockPages_) * kPageSize;

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

  const ExpectedBlock expected = expectedBlock();
  const bool sameAsLastCopy = repeatCount_ > 0 && std::memcmp(kept_.data(), buffer.data.data(), bytes) == 0;
  const RepeatCounts counts{repeatCount_, identicalCount_, currentPlace() == place_ ? freshRequests_ : 0};
  const BlockVerdict verdict = judgeBlock(buffer.data.data(), expected, counts, repeatLimit_, sameAsLastCopy);
  switch (verdict.action) {
    case BlockVerdict::Action::Accept:
      acceptBlock({}, false);
      return;
    case BlockVerdict::Action::Resync:
      resync(verdict.carriedPage);
      return;
    case BlockVerdict::Action::Repeat:
    case BlockVerdict::Action::RequestAfresh:
    case BlockVerdict::Action::AcceptBad:
      break;
  }
  followBlockPlace();
  copies_.note(buffer.data.data(), expected, verdict.badPages);
  repeatCount_ = verdict.next.repeats;
  identicalCount_ = verdict.next.identical;
  freshRequests_ = verdict.next.freshRequests;
  if (verdict.action == BlockVerdict::Action::Repeat) {
    if (verdict.keepCopy) std::memcpy(kept_.data(), buffer.data.data(), bytes);
    settleThenRepeat();
    return;
  }
  if (verdict.action == BlockVerdict::Action::RequestAfresh) {
    requestAfresh();
    return;
  }
  const std::vector<std::size_t> bad = copies_.mend(buffer.data.data(), verdict.badPages);
  const bool identical = verdict.identicalCopies && !bad.empty();
  if (identical) badPagesAccepted_ = true;
  acceptBlock(bad, identical);
}

void Download::acceptBlock(const std::vector<std::size_t>& badPages, bool afterIdenticalCopies,
                           const std::vector<std::size_t>& wrongPlace) {
  const session::BlockBuffer& buffer = services_.blockBuffer();
  const std::size_t bytes = static_cast<std::size_t>(blockPages_) * kPageSize;
  const auto listWrongPlace = [&] {
    for (const std::size_t i : wrongPlace) {
      const PageTrailer carried = readTrailer(buffer.data.data() + i * kPageSize);
      const std::uint64_t page = expectedPageNumber(i);
      const std::string line =
          wrongPlaceLine(list_.deviceName(), entry_.fileNumber, page, carried.fileNumber, carried.pageNumber);
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
        const std::string line = badPageLine(afterIdenticalCopies, list_.deviceName(), entry_.fileNumber, pagesDone_ + i);
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

void Download::writeBlock(const std::uint8_t* data, std::size_t bytes) { writer_->write(data, bytes); }

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
  cancelToRequestAgain();
}

void Download::acceptWrongPlace() {
  const BlockPages pages = classifyPages(services_.blockBuffer().data.data(), expectedBlock());
  acceptBlock(pages.bad, false, pages.misplaced);
}

void Download::afterResyncCancel() {
  services_.stopTimer(session::kTimerCancelConfirm);
  stopping_ = Stopping::No;
  clearRepeatState();
  if (!active_) {
    earlyEnd(lang::formatText(" %s: %llu", {lang::text(TextId::DownloadCancelledPagesDone), ull(pagesDone_)}));
    finishFile();
    return;
  }
  if (phase_ == 1) {
    sendTransferRequest(request::header(entry_.fileNumber, entry_.pages));
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
  if (!sendControl(request::kCancel)) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
  services_.log(lang::formatText(" %s %s\r\n", {lang::text(TextId::StoppingTransfer), ""}));
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
    services_.setActivity(session::Activity::Download, false);
    outcome().problem = "the recorder stopped sending";
    services_.refreshControls();
    stop();
    return;
  }
  // Ask again the way the host asked last: after an "r" the recorder did not hear, an "n" would
  // move it on past the block the host still needs.
  if (lastControl_ == request::kRepeatBlock) {
    repeatBlock();
  } else {
    requestNextBlock();
  }
}

void Download::onRequestTimeout() {
  services_.stopTimer(session::kTimerTransferRequest);
  services_.log(lang::formatText(" %s %s.\r\n", {lang::text(TextId::NoReplyToThe), lang::text(TextId::DownloadRequest)}));
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

// ---- helpers ---------------------------------------------------------------------------------------

bool Download::send(const std::string& line, session::SessionServices::AfterSent afterSent) {
  if (services_.sendLine(line, false, std::move(afterSent))) return true;
  linkGone();
  return false;
}

bool Download::sendControl(char byte) {
  if (services_.sendByte(static_cast<std::uint8_t>(byte))) return true;
  linkGone();
  return false;
}

}  // namespace recdesk::operations
