#include "operations/DownloadSession.h"

namespace recdesk::operations {

using session::ReplyId;

DownloadSession::DownloadSession(session::Host& host)
    : host_(host), replies_(host, list_), download_(host, list_) {
  host_.addObserver(this);
  host_.setReplyHandler(ReplyId::AckDnl, [this](const std::string&) { download_.onRequestAccepted(); });
  host_.setReplyHandler(ReplyId::NakDnl, [this](const std::string&) { download_.onRefused(); });
  host_.setReplyHandler(ReplyId::MsgDnlEnd, [this](const std::string&) { download_.onEndOfTransfer(); });
  host_.setReplyHandler(ReplyId::MsgDnlCancel, [this](const std::string&) { download_.onCancelConfirmed(); });
  host_.setIncompleteRecordingsQuery([this] {
    for (std::size_t i = 0; i < list_.size(); ++i)
      if (!list_.completeOnDisk(i)) return true;
    return false;
  });
}

DownloadSession::~DownloadSession() {
  for (const ReplyId id : {ReplyId::AckDnl, ReplyId::NakDnl, ReplyId::MsgDnlEnd, ReplyId::MsgDnlCancel})
    host_.setReplyHandler(id, {});
  host_.setIncompleteRecordingsQuery({});
  if (host_.activeTransfer() == &download_) host_.setActiveTransfer(nullptr);
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

void DownloadSession::onSessionReset() { list_.clear(); }

}  // namespace recdesk::operations
