#pragma once
// The recording list and the download plugged into the session owner: the list follows the
// session's list replies, the download receives the "DNL" replies and, while it runs, the block data
// and the transfer time-outs. Front ends (desktop and command line) hold one of these beside the
// session owner.
#include <optional>
#include <string>

#include "operations/Download.h"
#include "operations/LevelPreview.h"
#include "operations/ListReplies.h"
#include "operations/Maintenance.h"
#include "operations/RecordingList.h"
#include "session/Host.h"

namespace recdesk::operations {

// Everything a front end follows, in one observer: the session state and events, the recording
// list's changes, the download's progress and each recording's start and end. A front end never
// polls and never reads the session's insides.
class FrontEndObserver : public session::SessionObserver, public RecordingListListener, public DownloadListener,
                         public MaintenanceListener, public LevelPreviewListener {};

class DownloadSession : public session::SessionObserver {
 public:
  explicit DownloadSession(session::Host& host);
  ~DownloadSession() override;
  DownloadSession(const DownloadSession&) = delete;
  DownloadSession& operator=(const DownloadSession&) = delete;

  // The front end's observer (one; null to stop). It gets the current state at once.
  void setFrontEnd(FrontEndObserver* observer);

  RecordingList& list() { return list_; }
  ListReplies& listReplies() { return replies_; }
  Download& download() { return download_; }
  Maintenance& maintenance() { return maintenance_; }
  LevelPreview& preview() { return preview_; }
  // The refused and ignored record lines of the last listing.
  std::size_t refusedLines() const { return refused_; }
  // The result of the last bad-block scan the recorder reported in this session (nullopt: none).
  const std::optional<BadBlockScanResult>& badBlockScan() const { return scan_; }

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
  Maintenance maintenance_;
  LevelPreview preview_;
  std::size_t refused_ = 0;
  std::optional<BadBlockScanResult> scan_;
  FrontEndObserver* frontEnd_ = nullptr;
};

}  // namespace recdesk::operations
