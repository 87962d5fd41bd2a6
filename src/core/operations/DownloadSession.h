#pragma once
// The recording list and the download plugged into the session owner: the list follows the
// session's list replies, the download receives the "DNL" replies and, while it runs, the block data
// and the transfer time-outs. Front ends (desktop and command line) hold one of these beside the
// session owner.
#include <optional>
#include <string>

#include "operations/Download.h"
#include "operations/ListReplies.h"
#include "operations/RecordingList.h"
#include "session/Host.h"

namespace recdesk::operations {

// The recorder's answer to a bad-block scan ("$R5,MSG,BAD,END,<bad blocks>"), which follows a
// download that had to accept bad pages.
struct BadBlockScanResult {
  long badBlocks = 0;
  std::uint32_t totalBlocks = 0;  // of the flash, from its identification; 0 when unknown
  std::optional<double> percent;  // bad blocks * 100 / total blocks, when the total is known
  std::string text;               // what the user is shown ("Bad blocks found: 41 ... 0.50%")
};
BadBlockScanResult readBadBlockScanEnd(const std::string& line, std::uint32_t totalBlocks);

// Everything a front end follows, in one observer: the session state and events, the recording
// list's changes, the download's progress and each recording's start and end. A front end never
// polls and never reads the session's insides.
class FrontEndObserver : public session::SessionObserver, public RecordingListListener, public DownloadListener {};

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
  std::size_t refused_ = 0;
  std::optional<BadBlockScanResult> scan_;
  FrontEndObserver* frontEnd_ = nullptr;
};

}  // namespace recdesk::operations
