#pragma once
// The simulated recorder's side of a download: the "$R5,DNL,<file>,<first>,<last>,<per block>"
// request and the block control bytes "n" (next block), "r" (the same block again) and "c" (cancel),
// with faults injected into the copy sent and optional pacing at the link speed.
//
// The recorder accepts a request with "$R5,ACK,DNL,…" (or refuses it with "$R5,NAK,DNL,…"), sends
// one block of up to <per block> pages for each "n", the same block again for each "r", ends with
// "$R5,MSG,DNL,END,…" on the "n" after the last block and confirms a cancel with
// "$R5,MSG,DNL,CANCEL,…". The level preview's "$R5,SMP,<file>,<pages>,<per block>" is served the
// same way, with "SMP" in the answers.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "SimRecorder.h"

namespace recdesk::sim {

// What happens to one copy of a block on its way (decided per copy from the faults below).
struct CopyFaults {
  bool flip = false;              // one payload byte flipped (in a page the flash holds right)
  std::size_t drop = 0;           // bytes lost at its end
  std::size_t extra = 0;          // bytes too many at its end
  bool doubled = false;           // it goes out twice in one go
  std::chrono::nanoseconds late{0};  // it leaves this much later than it would (needs a scheduler)
};

struct DownloadFaults {
  int flipNext = 0;               // the next N blocks sent carry one flipped byte
  double flipProbability = 0;     // chance that a block sent carries one flipped byte
  int dropBytesNext = 0;          // the next N blocks sent lose `dropCount` bytes at their end
  std::size_t dropCount = 100;
  int extraBytesNext = 0;         // the next N blocks sent carry `extraCount` bytes too many
  std::size_t extraCount = 16;
  int silentNext = 0;             // the next N "n" are not heard (no block, the position stays)
  int skipAheadNext = 0;          // the next N blocks are lost on the way (the position moves on)
  int ignoreRepeatNext = 0;       // the next N "r" are not heard
  int doubleNext = 0;             // the next N blocks sent go out twice in one go
  int lateNext = 0;               // the next N blocks sent leave `lateBy` late
  std::chrono::milliseconds lateBy{50};
  // Chances per block sent (per "n" or "r" heard for the last two), for randomized runs. A late
  // block is late by a random time up to `lateBy`.
  double dropProbability = 0;
  double extraProbability = 0;
  double doubleProbability = 0;
  double lateProbability = 0;
  double silentProbability = 0;
  double ignoreRepeatProbability = 0;
  // Called for every copy after the faults above were decided; may change them. `copy` counts the
  // copies of the block starting at `firstPage` (0 = the first one sent).
  std::function<void(std::uint64_t firstPage, std::uint64_t copy, CopyFaults& faults)> shape;
  // Pages bad on every read: the same wrong byte each time (a bad flash cell) or a different one
  // each time (a weak page). Keyed by (file number, page).
  std::set<std::pair<std::uint16_t, std::uint64_t>> stickyBadPages;
  std::set<std::pair<std::uint16_t, std::uint64_t>> flakyBadPages;
  long long unplugAfterBlocks = -1;  // after K blocks sent the recorder is gone (-1 = never)
};

// Pacing: answers leave the recorder `turnaround` after the byte or line that asked for them (or
// after the end of what it was still sending, whichever is later) and take 10 bits per byte at `bitsPerSecond` on the wire; they reach the host when their last byte
// has, or, with `pieceBytes`, in pieces as a USB adapter hands them over: a piece as soon as it is
// full, a partial one when the wire has been quiet for `latency`. `schedule` runs a call after a
// delay on the recorder's thread; `now` is that thread's clock. With a scheduler but no speed the
// wire takes no time (late blocks still come late).
struct DownloadPacing {
  std::uint32_t bitsPerSecond = 0;  // 0: the wire takes no time
  std::chrono::microseconds turnaround{0};
  std::size_t pieceBytes = 0;       // 0: each answer whole
  std::chrono::microseconds latency{0};
  std::function<void(std::chrono::nanoseconds delay, std::function<void()> call)> schedule;
  std::function<std::chrono::steady_clock::time_point()> now;
};

struct DownloadStats {
  std::uint64_t requests = 0;
  std::uint64_t refused = 0;
  std::uint64_t blocksSent = 0;
  std::uint64_t repeatsServed = 0;
  std::uint64_t cancels = 0;
  std::uint64_t bytesSent = 0;
  // Faults injected, by kind.
  std::uint64_t flipped = 0;
  std::uint64_t dropped = 0;
  std::uint64_t extra = 0;
  std::uint64_t doubled = 0;
  std::uint64_t late = 0;
  std::uint64_t silentRequests = 0;  // "n" not heard
  std::uint64_t silentRepeats = 0;   // "r" not heard
  std::uint64_t skipped = 0;         // blocks lost on the way
  std::uint64_t unplugs = 0;
};

class SimDownload {
 public:
  // Gives `device` the download: installs the "DNL" command and the block-control byte interceptor.
  // The device owns the returned object (through its command table) and frees it with the table;
  // installing again replaces the previous one.
  static SimDownload& install(SimRecorder& device);
  explicit SimDownload(SimRecorder& device) : device_(device) {}
  SimDownload(const SimDownload&) = delete;
  SimDownload& operator=(const SimDownload&) = delete;

  DownloadFaults& faults() { return faults_; }
  DownloadStats& stats() { return stats_; }
  void setPacing(DownloadPacing pacing) { pacing_ = std::move(pacing); }
  // What "unplugged" means to the owner (the link's unplug fault); by default the recorder just goes
  // silent.
  std::function<void()> onUnplug;

  bool transferOpen() const { return open_; }
  // The level preview's request "$R5,SMP,<file>,<pages>,<per block>": the recording's first pages,
  // served like a download (same controls, same faults) with "SMP" in the answers.
  void requestSample(const std::vector<std::string>& fields);

 private:
  void request(const std::vector<std::string>& fields);
  void open(const std::string& word, std::optional<std::uint64_t> file, std::optional<std::uint64_t> first,
            std::optional<std::uint64_t> last, std::optional<std::uint64_t> perBlock, const std::string& echo,
            const std::string& fileText);
  bool control(std::uint8_t byte);
  void sendBlock(std::uint64_t start);
  CopyFaults decideFaults(std::uint64_t start);
  bool chance(double probability);
  void emitLine(const std::string& line);
  void emitBytes(std::string bytes, std::chrono::nanoseconds late = std::chrono::nanoseconds(0));
  void emit(std::string bytes, std::chrono::nanoseconds late);
  std::chrono::nanoseconds wireTime(std::size_t bytes) const;
  const Recording* recording(std::uint16_t fileNumber) const;

  SimRecorder& device_;
  DownloadFaults faults_;
  DownloadStats stats_;
  DownloadPacing pacing_;
  bool open_ = false;
  bool gone_ = false;
  std::string word_ = "DNL";  // the request word of the transfer under way
  std::uint16_t file_ = 0;
  std::uint64_t first_ = 0, last_ = 0, perBlock_ = 1;
  std::optional<std::uint64_t> current_;  // first page of the block last sent
  std::chrono::steady_clock::time_point wireFree_{};
  std::optional<std::uint64_t> copiesOf_;  // the block whose copies are counted
  std::uint64_t copies_ = 0;
  // The adapter's piece being filled: its bytes, the wire time of its last byte, and whether its
  // hand-over (scheduled for when the wire has been quiet) was called off because more came.
  struct Piece {
    std::string bytes;
    std::chrono::steady_clock::time_point end{};
    std::shared_ptr<bool> calledOff;
  };
  Piece piece_;
};

// Timed calls for a single-threaded poll loop (recdesk-sim's pacing): calls run in order of their due
// time, calls due at the same time in the order they were scheduled.
class CallQueue {
 public:
  void schedule(std::chrono::nanoseconds delay, std::function<void()> call);
  // Runs the calls that are due now; returns the time until the next one (nullopt: none left).
  std::optional<std::chrono::nanoseconds> runDue();
  bool empty() const { return calls_.empty(); }

 private:
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> calls_;
};

// recdesk-sim's download options (faults and pacing).
struct SimDownloadOptions {
  DownloadFaults faults;
  std::uint32_t paceBitsPerSecond = 0;
  double turnaroundMs = 0;
  std::size_t pieceBytes = 0;
  double latencyMs = 0;
};
// Takes the download option at argv[i] (and its value); 1 taken, 0 not a download option, -1 a bad
// value (`error` says why).
int takeDownloadOption(int argc, char** argv, int& i, SimDownloadOptions& options, std::string& error);
// The help text of those options.
const char* downloadOptionsHelp();
// Gives `device` the download with `options`; paced answers go through `calls`. `unplug` is what
// "unplugged" does (the link is lost).
SimDownload& installDownload(SimRecorder& device, const SimDownloadOptions& options, CallQueue& calls,
                             std::function<void()> unplug);

}  // namespace recdesk::sim
