#pragma once
// The download: copies the selected recordings of the recording list from the recorder's flash into
// IM2 files (one per recording, with an information text file beside it), page by page in blocks,
// every page verified and fetched again when wrong, partial files continued where they end, each
// completed recording handed to the conversion when automatic decoding is on.
//
// Per recording: the header request fetches the recording's last page alone, then data requests
// fetch pages from "pages done" on in blocks of "Acceleration" pages. Each block is pulled with one
// control byte: "n" next block, "r" the same block again, "c" cancel. The recorder answers a
// request with "$R5,ACK,DNL," (or "$R5,NAK,DNL,"), ends it with "$R5,MSG,DNL,END," and confirms a
// cancel with "$R5,MSG,DNL,CANCEL,".
//
// Repeats stay aligned with the recorder's stream: a block is asked for again only once the link
// has fallen quiet, since the rest of a copy that went wrong may still be on its way and asking at
// once would start the next copy behind it. Before bad pages are accepted (the repeat limit, or 10
// identical bad copies) the block is requested afresh (cancel, confirmation, new request), twice,
// so that the copies compared are known to start where a block starts; a page that passed in any
// copy is stored as it passed, and one bad in every copy as most copies brought it.
//
// Every page must pass its check byte and carry the file number and page number the host asked for.
// A page that fails is fetched again; after the repeat limit, or after 10 identical bad copies, it
// is accepted, logged and counted. A well-formed page of another position (the recorder has moved
// on to another block) is not stored at first: the transfer is cancelled and requested again from
// the first missing page. When the recorder sends the same wrong place after three such restarts,
// the block is stored where it was asked for, as the recorder sent it, and its wrong-place pages are
// listed in the information file and the outcome (the conversion flags them again).
//
// An IM2 file already on disk is only continued when its header page is that of the recording;
// the file of another recording (file numbers are reused after a format) is moved aside, never
// appended to and never deleted.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/BlockVerdict.h"
#include "operations/DownloadMath.h"
#include "operations/ListReplies.h"
#include "operations/RecordingFolders.h"
#include "operations/RecordingList.h"
#include "ports/UserInterface.h"
#include "session/SessionServices.h"

namespace recdesk::app {
struct Settings;
}
namespace recdesk::audio {
struct ConvertResult;
}

namespace recdesk::operations {

class RecordingWriter;

struct DownloadOptions {
  FileNaming naming;
  bool autoDecrypt = true;
  std::uint16_t acceleration = 8;  // pages per block (normalised to a power of two, 1..256)
  std::uint32_t baud = 2000000;    // for the block time-out
  static DownloadOptions fromSettings(const app::Settings& settings);
};

// What the conversion made of a completed recording.
struct ConversionOutcome {
  bool ok = false;
  std::vector<std::filesystem::path> files;  // WAV parts and their information files
  std::string message;                       // why it failed
};
// The outcome of a conversion result.
ConversionOutcome conversionOutcomeOf(const audio::ConvertResult& result);
// Tells the download, on the owner thread, that the conversion of its completed recording is over.
using ConversionDone = std::function<void(ConversionOutcome outcome)>;
// Starts the conversion of a completed recording (replacing an earlier decoding has been asked
// already): `done` is called once when it is over, at once or later (a front end may convert on a
// worker thread and post the call back to the owner thread). Meanwhile the download waits between
// the two recordings with the keep-alive running; a call that comes after the download has ended
// (the link was lost) or is gone is dropped.
using ConversionHook = std::function<void(const RecordingFiles& files, ConversionDone done)>;

// The result of one recording of the download.
struct RecordingOutcome {
  std::uint16_t fileNumber = 0;
  std::uint64_t pages = 0;
  std::uint64_t pagesOnDisk = 0;       // data pages in the IM2 file at the end
  std::uint64_t pagesTransferred = 0;  // data pages received for it in this download
  std::uint64_t repeats = 0;           // blocks fetched again ("r")
  std::uint64_t freshRequests = 0;     // blocks requested afresh before their bad pages were accepted
  std::uint64_t badPagesAccepted = 0;
  std::uint64_t resyncs = 0;           // transfers restarted after pages of another position came
  std::vector<std::uint64_t> wrongPlacePages;  // pages stored as sent although they named another place
  std::vector<std::filesystem::path> movedAside;  // files of another recording moved out of the way
  bool completed = false;
  bool skipped = false;                // the user skipped it, or it holds no pages
  bool reached = true;                 // false: the download ended before it came to this recording
  std::optional<ConversionOutcome> conversion;
  RecordingFiles files;
  std::string problem;  // why it did not complete (English)
};

// The download in numbers, after each stored block.
struct DownloadProgress {
  std::uint16_t fileNumber = 0;       // the recording under way
  std::uint64_t pagesDone = 0;        // its data pages on disk
  std::uint64_t pages = 0;            // its data pages
  std::uint64_t transferred = 0;      // pages of the whole download so far
  std::uint64_t total = 0;            // pages the whole download fetches
  double bytesPerSecond = 0;          // smoothed
  std::optional<std::uint64_t> secondsLeft;  // nullopt while the rate is unknown
  std::uint64_t repeats = 0;          // of the recording under way
  std::uint64_t badPages = 0;         // accepted in the recording under way
};

// How a front end follows the download: each recording's start and end with its result, and the
// progress as numbers.
class DownloadListener {
 public:
  virtual ~DownloadListener() = default;
  virtual void onRecordingStarted(std::uint16_t /*fileNumber*/, std::size_t /*row*/) {}
  virtual void onDownloadProgress(const DownloadProgress& /*progress*/) {}
  virtual void onRecordingFinished(const RecordingOutcome& /*outcome*/) {}
};

class Download : public session::BlockTransferHandler {
 public:
  Download(session::SessionServices& services, RecordingList& list);
  ~Download() override;
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // ---- hooks of the front end and of other subsystems (all optional) ------------------------------
  // Converts a completed recording (automatic decoding). Unset: the audio conversion with the
  // session's settings, at once on the owner thread (the command line).
  ConversionHook convert;
  // The header page's format-version check (may warn; never stops the download). Unset: the
  // decoder's check, warning through the user interface.
  std::function<void(const std::uint8_t* headerPage)> checkHeaderFormat;
  // Playback stops when a download starts; the last completed recording is loaded afterwards.
  std::function<void()> stopPlayback;
  PlayerLoadHook loadPlayer;
  // Free space of a folder (injectable for tests); unset: std::filesystem::space.
  FreeSpaceQuery freeSpace;
  // Called once when the whole download has ended (all files, stopped, or refused at the start).
  std::function<void()> onFinished;

  // The front end's listener (one; null for none).
  void setListener(DownloadListener* listener) { listener_ = listener; }

  // ---- commands ------------------------------------------------------------------------------------
  // The Download button pressed (or a row double-clicked): checks the folders and the disk space,
  // then fetches every selected row in list order. False when it was refused at once; a start that
  // waits for an answer (creating a folder) returns true, and a refusal then ends it through
  // onFinished.
  bool start(const DownloadOptions& options);
  // The Download button released: the block under way completes, then the transfer is cancelled.
  void requestStop();

  // ---- replies (routed by the session's dispatcher) ------------------------------------------------
  void onRequestAccepted();  // "$R5,ACK,DNL,"
  void onRefused();          // "$R5,NAK,DNL,"
  void onEndOfTransfer();    // "$R5,MSG,DNL,END,"
  void onCancelConfirmed();  // "$R5,MSG,DNL,CANCEL,"

  // ---- BlockTransferHandler ------------------------------------------------------------------------
  void onBlockData() override;
  void onBlockTimeout() override;
  void onRequestTimeout() override;
  void onConfirmationTimeout() override;
  void onLinkLost() override;

  // ---- state ---------------------------------------------------------------------------------------
  bool active() const { return active_; }  // the Download button's state
  bool running() const { return running_; }
  // A question of the download waits for its answer (the download holds its place meanwhile).
  bool asking() const { return waiting_ == Waiting::Answer; }
  // The conversion of a completed recording is under way (the download holds its place meanwhile).
  bool converting() const { return waiting_ == Waiting::Conversion; }
  int phase() const { return phase_; }     // 0 idle, 1 header page, 2 data pages
  std::optional<std::size_t> currentRow() const { return current_; }
  std::uint64_t pagesTotal() const { return pagesTotal_; }
  std::uint64_t pagesTransferred() const { return pagesTransferred_; }
  std::uint64_t pagesDone() const { return pagesDone_; }
  const DownloadOptions& options() const { return options_; }
  // One outcome per recording asked for, in list order; those the download never came to (it was
  // stopped, or the link was lost) have `reached` false.
  const std::vector<RecordingOutcome>& outcomes() const { return outcomes_; }
  // The download ended by asking the recorder for a bad-block scan ("$R5,BAD").
  bool scanRequested() const { return scanRequested_; }
  double transferRate() const { return rate_.pagesPerMs(); }
  // The smoothed rate is kept from one download to the next; the options dialog resets it.
  void resetRate() { rate_.reset(); }

  // The block time-out of timer 10 for the block under way.
  std::chrono::milliseconds currentBlockTimeout() const;

 private:
  enum class Stopping { No, Cancel, Resync };
  enum class Ending { Finished, LinkLost, Refused };
  enum class Waiting { No, Answer, Conversion };
  // The block the fresh requests and the copies below belong to (file, phase, first page, pages).
  struct BlockPlace {
    std::uint16_t file = 0;
    int phase = 0;
    std::uint64_t first = 0;
    std::uint16_t pages = 0;
    bool operator==(const BlockPlace&) const = default;
  };

  void begin();
  void refuseStart();
  void ask(ports::Question question, std::function<void(const ports::Reply&)> then);
  void confirmFolder(const std::string& folder, std::function<void(bool ok)> then);
  void existingFileAnswered(ports::ExistingFileChoice choice);
  bool checkDiskSpace();
  void advance();  // go to the next file (runs the queue loop)
  void nextFile();
  void sendRequest();
  void dataRequest();
  void sendTransferRequest(const std::string& line);
  void requestNextBlock();
  void repeatBlock();
  void blockComplete();
  void acceptBlock(const std::vector<std::size_t>& badPages, bool afterIdenticalCopies,
                   const std::vector<std::size_t>& wrongPlace = {});
  void acceptWrongPlace();
  bool moveOldRecordingAside(const std::string& why);
  void forgetPagesOnDisk();
  void listUnreached(const std::string& why);
  std::uint64_t pagesOnDiskNow() const;
  void resync(std::uint64_t gotPage);
  void transferEndedEarly();
  void afterResyncCancel();
  void stop();
  void endTransfer();
  void finishFile();
  void convertThenGoOn();
  void startConversion();
  ConversionOutcome convertHere();
  // A wait for something from outside the link (an answer, a conversion): the download holds its
  // place in line mode, no timer of its own running, with the keep-alive on. beginWait returns the
  // wait's token; endWait(token) is true when the result still counts (the wait is then over);
  // holdWhileWaiting starts the keep-alive when the result did not come at once.
  std::uint64_t beginWait(Waiting what);
  bool endWait(std::uint64_t token);
  void holdWhileWaiting(std::uint64_t token);
  void goOn(bool complete);
  void endDownload(Ending how);
  void failRecording(const std::string& problem);
  void abortRecording(const std::string& problem);  // cancel the transfer, keep the partial file
  void clearRepeatState();
  // Repeats that stay aligned with the recorder's stream.
  void settleThenRepeat();
  void bytesWhileSettling();
  void quietGapEnded();
  void cancelToRequestAgain();
  void requestAfresh();
  void followBlockPlace();
  BlockPlace currentPlace() const;
  ExpectedBlock expectedBlock() const;
  void updateProgress(std::uint64_t blockPages);
  // Sends a line; `afterSent` runs once its last byte is out.
  bool send(const std::string& line, session::SessionServices::AfterSent afterSent = {});
  bool sendControl(char byte);
  void linkGone();
  void writeBlock(const std::uint8_t* data, std::size_t bytes);
  void infoLine(const std::string& text);
  void earlyEnd(const std::string& line16);
  bool rowValid() const;
  std::uint64_t expectedPageNumber(std::size_t indexInBlock) const;
  RecordingOutcome& outcome() { return outcomes_.back(); }

  session::SessionServices& services_;
  RecordingList& list_;
  DownloadOptions options_;

  bool active_ = false;   // the button
  bool running_ = false;  // between start and the end of the last file
  int phase_ = 0;
  std::optional<std::size_t> queue_;    // next selected row still to fetch
  std::optional<std::size_t> current_;  // row being fetched
  std::optional<std::size_t> lastCompleted_;
  RecordingEntry entry_;                // the current row's entry as it was when the file began
  std::vector<RecordingEntry> asked_;   // every recording selected at the start, in list order
  RecordingFiles files_;

  std::uint64_t pagesTotal_ = 0;
  std::uint64_t pagesTransferred_ = 0;
  std::uint64_t pagesDone_ = 0;
  bool measured_ = false;               // pagesDone_ is the current IM2 file's length
  bool scanRequested_ = false;
  std::uint64_t firstPage_ = 0;
  std::uint16_t blockPages_ = 0;
  std::vector<std::uint8_t> kept_;
  std::uint16_t repeatCount_ = 0;
  std::uint16_t identicalCount_ = 0;
  std::uint16_t repeatLimit_ = 10;
  int emptyTimeouts_ = 0;
  bool badPagesAccepted_ = false;
  std::uint32_t blockCounter_ = 0;
  bool headerStored_ = false;
  bool awaitingEnd_ = false;
  Stopping stopping_ = Stopping::No;
  int resyncsInRow_ = 0;
  // The quiet gap before a repeat: bytes that still come are dropped and the gap starts again.
  bool settling_ = false;
  char lastControl_ = 'n';  // the block control byte sent last ("n" or "r")
  std::chrono::steady_clock::time_point settleStart_{};
  BlockPlace place_;
  int freshRequests_ = 0;
  BlockCopies copies_;
  TransferRate rate_;

  std::unique_ptr<RecordingWriter> writer_;

  bool starting_ = false;  // the start waits for an answer
  bool refused_ = false;   // the last start was refused
  Waiting waiting_ = Waiting::No;
  bool keepAliveWhileWaiting_ = false;
  std::uint64_t waitToken_ = 0;  // the wait whose result counts
  std::shared_ptr<char> life_ = std::make_shared<char>();  // answers coming after the download is gone are dropped
  DownloadListener* listener_ = nullptr;
  bool finishAnnounced_ = true;  // the current recording's end has been told
  void announceFinish();
  bool inQueueLoop_ = false;
  bool nextPending_ = false;
  std::vector<RecordingOutcome> outcomes_;
};

}  // namespace recdesk::operations
