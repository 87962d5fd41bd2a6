#pragma once
// The recording list and the download plugged into the session owner: the list follows the
// session's list replies, the download receives the "DNL" replies and, while it runs, the block data
// and the transfer time-outs. Front ends (desktop and command line) hold one of these beside the
// session owner.
#include "operations/Download.h"
#include "operations/ListReplies.h"
#include "operations/RecordingList.h"
#include "session/Host.h"

namespace recdesk::operations {

class DownloadSession : public session::SessionObserver {
 public:
  explicit DownloadSession(session::Host& host);
  ~DownloadSession() override;
  DownloadSession(const DownloadSession&) = delete;
  DownloadSession& operator=(const DownloadSession&) = delete;

  RecordingList& list() { return list_; }
  ListReplies& listReplies() { return replies_; }
  Download& download() { return download_; }
  // The refused and ignored record lines of the last listing.
  std::size_t refusedLines() const { return refused_; }

  // SessionObserver
  void onListStarted() override;
  void onListRecord(const std::string& line) override;
  void onListEnd() override;
  void onSessionReset() override;

 private:
  session::Host& host_;
  RecordingList list_;
  ListReplies replies_;
  Download download_;
  std::size_t refused_ = 0;
};

}  // namespace recdesk::operations
