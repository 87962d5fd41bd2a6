#pragma once
// The level preview: the first pages (at most 300) of one recording, fetched straight from the
// recorder with the download's block transfer and written to no file, each page decoded by itself
// into the lowest and highest sample per channel, so that a front end can draw the levels (a
// waveform) before the recording is downloaded.
//
// The recorder accepts "$R5,SMP,<file>,<pages>,<per block>" with "$R5,ACK,SMP", sends a block for
// each "n" (the same one again for "r"), ends with "$R5,MSG,SMP,END," and confirms a cancel ("c")
// with "$R5,MSG,SMP,CANCEL,". A block with more bytes than asked for is fetched again, at most 3
// times; then the preview stops.
#include <cstdint>
#include <optional>
#include <string>

#include "operations/LevelTables.h"
#include "operations/RecordingList.h"
#include "session/SessionServices.h"

namespace recdesk::operations {

struct LevelPreviewResult {
  std::uint16_t fileNumber = 0;
  int channels = 1;
  std::uint32_t pagesToSample = 0;
  LevelTables tables;
  LevelStatistics statistics;  // filled when the preview completed
  bool complete = false;       // every page asked for came, and the recorder ended the transfer
  std::string problem;         // why it did not complete (English); empty when it did
};

class LevelPreviewListener {
 public:
  virtual ~LevelPreviewListener() = default;
  virtual void onPreviewProgress(std::uint32_t /*pagesDone*/, std::uint32_t /*pagesToSample*/) {}
  virtual void onPreviewFinished(const LevelPreviewResult& /*result*/) {}
};

// The pages a preview asks for: all of a short recording, the first 300 of a longer one.
inline std::uint32_t pagesToSample(std::uint64_t pages) {
  return static_cast<std::uint32_t>(pages < LevelTables::kMaxPages ? pages : LevelTables::kMaxPages);
}
// "$R5,SMP,<file>,<pages>,<per block>\r\n"
std::string sampleRequest(std::uint16_t fileNumber, std::uint32_t pages, unsigned pagesPerBlock);

class LevelPreview : public session::BlockTransferHandler {
 public:
  LevelPreview(session::SessionServices& services, const RecordingList& list);
  LevelPreview(const LevelPreview&) = delete;
  LevelPreview& operator=(const LevelPreview&) = delete;

  void setListener(LevelPreviewListener* listener) { listener_ = listener; }

  // Starts the preview of list row `row` with `acceleration` pages per block (a power of two,
  // 1..256). False when it cannot start (another transfer runs, no recorder, no such row or pages).
  bool start(std::size_t row, std::uint16_t acceleration);
  // The user's next action: the block under way completes, then the transfer is cancelled.
  void requestStop();

  // Replies (routed by the session's dispatcher).
  void onRequestAccepted();  // "$R5,ACK,SMP"
  void onEndOfTransfer();    // "$R5,MSG,SMP,END,"
  void onCancelConfirmed();  // "$R5,MSG,SMP,CANCEL,"

  // BlockTransferHandler
  void onBlockData() override;
  void onBlockTimeout() override;
  void onRequestTimeout() override;
  void onConfirmationTimeout() override;
  void onLinkLost() override;

  bool running() const { return running_; }
  bool active() const { return active_; }
  const LevelPreviewResult& result() const { return result_; }
  std::uint32_t pagesDone() const { return pagesDone_; }
  int surplusRetries() const { return mismatches_; }

 private:
  void requestNextBlock();
  void repeatBlock();
  void settleThenRepeat();
  void blockComplete();
  void stop(const std::string& reason);
  void finish(bool linkLost = false);
  bool sendControl(char byte);

  session::SessionServices& services_;
  const RecordingList& list_;
  LevelPreviewListener* listener_ = nullptr;
  LevelPreviewResult result_;
  bool running_ = false;
  bool active_ = false;
  bool stopping_ = false;
  bool awaitingEnd_ = false;
  bool settling_ = false;
  char lastControl_ = 'n';
  std::uint16_t acceleration_ = 8;
  std::uint16_t blockPages_ = 0;
  std::uint32_t pagesDone_ = 0;
  int mismatches_ = 0;
  int emptyTimeouts_ = 0;
};

}  // namespace recdesk::operations
