#include "operations/DownloadSession.h"

#include <algorithm>

#include "lang/Strings.h"
#include "session/Protocol.h"

namespace recdesk::operations {

using session::ReplyId;

DownloadSession::DownloadSession(session::Host& host)
    : host_(host), replies_(host, list_), download_(host, list_), maintenance_(host, list_), preview_(host, list_) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::AckDnl, [this](const std::string&) { download_.onRequestAccepted(); });
  host_.setReplyHandler(ReplyId::NakDnl, [this](const std::string&) { download_.onRefused(); });
  host_.setReplyHandler(ReplyId::MsgDnlEnd, [this](const std::string&) { download_.onEndOfTransfer(); });
  host_.setReplyHandler(ReplyId::MsgDnlCancel, [this](const std::string&) { download_.onCancelConfirmed(); });
  // The scan that a download with accepted bad pages asks for: its result is kept for the front end
  // (the session's own handling, if any, still runs).
  host_.setReplyHandler(ReplyId::MsgBadEnd, [this](const std::string& line) {
    if (const auto builtIn = host_.builtInReplyHandler(ReplyId::MsgBadEnd)) builtIn(line);
    const std::uint32_t total = host_.info().flashKnown ? host_.info().flash.totalBlocks : 0;
    scan_ = readBadBlockScanEnd(line, total);
    host_.log(" " + scan_->text + "\r\n");
    host_.setActivity(session::Activity::Scan, false);
    maintenance_.onScanEnd(*scan_);
  });
  host_.setReplyHandler(ReplyId::AckSmp, [this](const std::string&) { preview_.onRequestAccepted(); });
  host_.setReplyHandler(ReplyId::MsgSmpEnd, [this](const std::string&) { preview_.onEndOfTransfer(); });
  host_.setReplyHandler(ReplyId::MsgSmpCancel, [this](const std::string&) { preview_.onCancelConfirmed(); });
  host_.setIncompleteRecordingsQuery([this] {
    for (std::size_t i = 0; i < list_.size(); ++i)
      if (!list_.completeOnDisk(i)) return true;
    return false;
  });
}

void DownloadSession::setFrontEnd(FrontEndObserver* observer) {
  if (frontEnd_) host_.removeObserver(frontEnd_);
  frontEnd_ = observer;
  list_.setListener(observer);
  download_.setListener(observer);
  maintenance_.setListener(observer);
  preview_.setListener(observer);
  if (observer) {
    host_.addObserver(observer);
    observer->onSelectionSums(list_.selectionSums());
  }
}

DownloadSession::~DownloadSession() {
  setFrontEnd(nullptr);
  for (const ReplyId id : {ReplyId::AckDnl, ReplyId::NakDnl, ReplyId::MsgDnlEnd, ReplyId::MsgDnlCancel, ReplyId::MsgBadEnd,
                           ReplyId::AckSmp, ReplyId::MsgSmpEnd, ReplyId::MsgSmpCancel})
    host_.setReplyHandler(id, {});
  host_.setIncompleteRecordingsQuery({});
  if (host_.activeTransfer() == &download_ || host_.activeTransfer() == &preview_) host_.setActiveTransfer(nullptr);
  host_.removeObserver(this);
}

void DownloadSession::onListStarted() {
  refused_ = 0;
  replies_.beginList(host_.info().deviceName);
}

void DownloadSession::onListRecord(const std::string& line) {
  if (replies_.onRecordLine(line) == RecordLineKind::Refused) ++refused_;
}

void DownloadSession::onListEnd() { replies_.endList(); }

void DownloadSession::onSessionReset() {
  list_.clear();
  scan_.reset();
  host_.setActivity(session::Activity::Scan, false);  // its answer cannot come any more
}

}  // namespace recdesk::operations
