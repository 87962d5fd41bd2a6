#include "operations/LevelPreview.h"

#include <algorithm>

#include "FlashPage.h"
#include "app/Settings.h"
#include "lang/Strings.h"
#include "operations/DownloadMath.h"
#include "operations/DownloadRequests.h"
#include "ports/UserInterface.h"
#include "session/SessionInfo.h"

namespace recdesk::operations {

namespace {
// The end line of a sample transfer (it may land in the block buffer).
constexpr std::string_view kSampleEnd = "$R5,MSG,SMP,END,";

// Blocks with surplus bytes are fetched again this often before the preview gives up.
constexpr int kMaxSurplusRetries = 3;
// Block time-outs in a row without a byte before the preview gives up.
constexpr int kMaxEmptyTimeouts = 20;

}  // namespace

std::string sampleRequest(std::uint16_t fileNumber, std::uint32_t pages, unsigned pagesPerBlock) {
  return lang::formatText("$R5,SMP,%lu,%ld,%u\r\n", {static_cast<unsigned long>(fileNumber),
                                                     static_cast<long>(pages), pagesPerBlock});
}

LevelPreview::LevelPreview(session::SessionServices& services, const RecordingList& list)
    : services_(services), list_(list) {}

bool LevelPreview::start(std::size_t row, std::uint16_t acceleration) {
  const session::SessionFlags& flags = services_.flags();
  if (running_ || flags.download || flags.maintenance || flags.locked || !services_.recorderConnected()) return false;
  if (row >= list_.size()) return false;
  const RecordingEntry& entry = list_.row(row).entry;
  if (entry.pages == 0) return false;

  services_.log(lang::formatText(" %s: %lu\r\n", {lang::text(TextId::LevelPreviewOfRecording),
                                                   static_cast<unsigned long>(entry.fileNumber)}));
  result_ = LevelPreviewResult{};
  result_.fileNumber = entry.fileNumber;
  result_.channels = entry.channels == 2 ? 2 : 1;
  result_.pagesToSample = pagesToSample(entry.pages);
  result_.tables.clear(result_.channels);
  acceleration_ = normaliseAcceleration(acceleration);
  pagesDone_ = 0;
  mismatches_ = 0;
  emptyTimeouts_ = 0;
  stopping_ = false;
  awaitingEnd_ = false;
  settling_ = false;
  running_ = true;
  active_ = true;
  services_.setActivity(session::Activity::Preview, true);
  services_.stopKeepAliveAndReplyWait();
  services_.setActiveTransfer(this);
  services_.refreshControls();
  // The request's time-out (timer 13) runs from the moment its last byte is out.
  const bool sent = services_.sendLine(sampleRequest(entry.fileNumber, result_.pagesToSample, acceleration_), false,
                                       [&services = services_] {
                                         services.startTimer(session::kTimerTransferRequest, std::chrono::milliseconds(1000));
                                       });
  if (!sent) {
    result_.problem = "the link to the recorder is closed";
    finish(true);
    return false;
  }
  return true;
}

void LevelPreview::requestStop() { active_ = false; }

void LevelPreview::onRequestAccepted() {
  if (!running_ || stopping_) return;
  services_.stopTimer(session::kTimerTransferRequest);
  mismatches_ = 0;
  services_.setBlockMode(session::BlockReceiver::Sample);
  if (active_)
    requestNextBlock();
  else
    stop(lang::text(TextId::LevelPreviewEnded));
}

void LevelPreview::requestNextBlock() {
  const std::uint32_t left = result_.pagesToSample - pagesDone_;
  blockPages_ = static_cast<std::uint16_t>(std::min<std::uint32_t>(acceleration_, left));
  settling_ = false;
  lastControl_ = request::kNextBlock;
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  services_.startTimer(session::kTimerBlockData, blockTimeout(blockPages_, services_.settings().baud));
  sendControl(request::kNextBlock);
}

void LevelPreview::repeatBlock() {
  settling_ = false;
  lastControl_ = request::kRepeatBlock;
  services_.log(".");
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  services_.startTimer(session::kTimerBlockData, blockTimeout(blockPages_, services_.settings().baud));
  sendControl(request::kRepeatBlock);
}

// The rest of a faulty copy may still be on its way: the repeat waits until the link is quiet.
void LevelPreview::settleThenRepeat() {
  services_.discardInput();
  services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
  settling_ = true;
  services_.startTimer(session::kTimerBlockData, quietGap(services_.settings().baud));
}

void LevelPreview::onBlockData() {
  if (!running_ || stopping_ || awaitingEnd_ || blockPages_ == 0) return;
  const session::BlockBuffer& buffer = services_.blockBuffer();
  if (settling_) {
    // Bytes still coming: the quiet gap starts again.
    services_.blockBuffer().clear(static_cast<std::size_t>(blockPages_) * kPageSize);
    services_.startTimer(session::kTimerBlockData, quietGap(services_.settings().baud));
    return;
  }
  if (buffer.received < buffer.expected && buffer.overrun == 0) {
    if (services_.blockBuffer().holdsLine(kSampleEnd)) {
      // The recorder has no more pages than it sent: the transfer ended early.
      services_.stopTimer(session::kTimerBlockData);
      services_.setLineMode();
      result_.problem = "the recorder ended the transfer after " + std::to_string(pagesDone_) + " pages";
      finish();
    }
    return;
  }
  blockComplete();
}


void LevelPreview::blockComplete() {
  services_.stopTimer(session::kTimerBlockData);
  if (!active_) {
    stop(lang::text(TextId::LevelPreviewEnded));
    return;
  }
  session::BlockBuffer& buffer = services_.blockBuffer();
  if (buffer.overrun > 0) {
    services_.log("v");
    services_.discardInput();
    if (mismatches_ >= kMaxSurplusRetries) {
      result_.problem = "the recorder sent more bytes than asked for, " + std::to_string(mismatches_ + 1) + " times";
      stop(lang::text(TextId::LevelPreviewEnded));
      services_.ui().message(lang::text(TextId::LevelPreviewFaultyData), lang::text(TextId::AppName),
                             ports::Icon::Warning, ports::Buttons::Ok);
      return;
    }
    ++mismatches_;
    settleThenRepeat();
    return;
  }
  emptyTimeouts_ = 0;
  for (std::size_t i = 0; i < blockPages_; ++i) {
    result_.tables.add(pageLevels(buffer.data.data() + i * kPageSize));
    ++pagesDone_;
  }
  if (listener_) listener_->onPreviewProgress(pagesDone_, result_.pagesToSample);
  if (pagesDone_ >= result_.pagesToSample) {
    // One more "n" lets the recorder end the transfer with its end line, which comes in line mode.
    awaitingEnd_ = true;
    services_.setLineMode();
    services_.startTimer(session::kTimerBlockData, blockTimeout(1, services_.settings().baud));
    sendControl(request::kNextBlock);
    return;
  }
  requestNextBlock();
}

void LevelPreview::stop(const std::string& reason) {
  services_.stopTimer(session::kTimerBlockData);
  services_.discardInput();
  services_.blockBuffer().clear(0);
  services_.setLineMode();
  stopping_ = true;
  active_ = false;
  if (!sendControl(request::kCancel)) return;
  services_.startTimer(session::kTimerCancelConfirm, std::chrono::milliseconds(1000));
  services_.log(lang::formatText(" %s %s\r\n", {lang::text(TextId::StoppingTransfer), reason}));
}

void LevelPreview::onEndOfTransfer() {
  if (!running_) return;
  services_.stopTimer(session::kTimerBlockData);
  if (stopping_) return;  // the cancel confirmation (or its time-out) ends it
  if (services_.inBlockMode()) services_.setLineMode();
  if (active_ && pagesDone_ >= result_.pagesToSample) {
    services_.log(" " + lang::text(TextId::LevelPreviewComplete) + "\r\n");
    result_.statistics = levelStatistics(result_.tables);
    result_.complete = true;
  } else if (result_.problem.empty()) {
    result_.problem = "the recorder ended the transfer after " + std::to_string(pagesDone_) + " pages";
  }
  finish();
}

void LevelPreview::onCancelConfirmed() {
  if (!running_) return;
  services_.stopTimer(session::kTimerCancelConfirm);
  if (result_.problem.empty()) result_.problem = "the preview was stopped";
  finish();
}

void LevelPreview::onBlockTimeout() {
  services_.stopTimer(session::kTimerBlockData);
  if (!running_ || stopping_) return;
  if (awaitingEnd_) {
    // Every page came but the end line did not: the levels are whole all the same.
    result_.statistics = levelStatistics(result_.tables);
    result_.complete = true;
    finish();
    return;
  }
  if (settling_) {
    services_.discardInput();
    if (active_)
      repeatBlock();
    else
      stop(lang::text(TextId::LevelPreviewEnded));
    return;
  }
  if (!active_) {
    stop(lang::text(TextId::LevelPreviewEnded));
    return;
  }
  if (services_.blockBuffer().received > 0) {
    services_.log(":");
    emptyTimeouts_ = 0;
    settleThenRepeat();
    return;
  }
  ++emptyTimeouts_;
  services_.log("|");
  if (emptyTimeouts_ > kMaxEmptyTimeouts) {
    result_.problem = "the recorder stopped sending";
    services_.setActivity(session::Activity::Preview, false);
    services_.refreshControls();
    stop("");
    return;
  }
  // Ask again the way the host asked last: after an "r" the recorder did not hear, an "n" would move
  // it on past the block the host still needs.
  if (lastControl_ == request::kRepeatBlock)
    repeatBlock();
  else
    requestNextBlock();
}

void LevelPreview::onRequestTimeout() {
  services_.stopTimer(session::kTimerTransferRequest);
  services_.log(lang::formatText(" %s %s.\r\n", {lang::text(TextId::NoReplyToThe), lang::text(TextId::LevelPreviewRequest)}));
  if (!running_ || stopping_) return;
  result_.problem = "the recorder did not answer the preview request";
  stop("");
}

void LevelPreview::onConfirmationTimeout() {
  services_.stopTimer(session::kTimerCancelConfirm);
  services_.log(" " + lang::text(TextId::CancelNotConfirmed) + "\r\n");
  if (!running_) return;
  if (result_.problem.empty()) result_.problem = "the recorder did not confirm the cancel";
  finish();
}

void LevelPreview::onLinkLost() {
  if (!running_) return;
  result_.problem = "the link to the recorder was lost";
  finish(true);
}

void LevelPreview::finish(bool linkLost) {
  const bool wasRunning = running_;
  running_ = false;
  active_ = false;
  stopping_ = false;
  awaitingEnd_ = false;
  settling_ = false;
  services_.stopTimer(session::kTimerBlockData);
  services_.stopTimer(session::kTimerTransferRequest);
  services_.stopTimer(session::kTimerCancelConfirm);
  services_.setActivity(session::Activity::Preview, false);
  services_.setActiveTransfer(nullptr);
  if (!linkLost) {
    if (services_.inBlockMode()) services_.setLineMode();
    services_.refreshControls();
    services_.startKeepAlive();
  }
  if (wasRunning && listener_) listener_->onPreviewFinished(result_);
}

bool LevelPreview::sendControl(char byte) {
  if (services_.sendByte(static_cast<std::uint8_t>(byte))) return true;
  if (running_) {
    result_.problem = "the link to the recorder was lost";
    finish(true);
  }
  return false;
}

}  // namespace recdesk::operations
