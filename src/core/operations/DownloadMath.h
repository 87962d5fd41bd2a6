#pragma once
// The download's pure decisions: the page check and trailer, the block size, the block time-out,
// the disk-space decision and the progress texts.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "link/PortKind.h"

namespace recdesk::operations {

// A count as the type the "%llu" of a format text takes.
inline unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }

// ---- pages ----

// The trailer fields the download looks at (little-endian in the page).
struct PageTrailer {
  std::uint16_t fileNumber = 0;   // offset 512
  std::uint16_t serial = 0;       // offset 514
  std::uint32_t startTime = 0;    // offset 516
  std::uint32_t pageNumber = 0;   // offset 520 (signed 32 bits in the page; compared bit for bit)
  std::uint8_t format = 0;        // offset 524
  std::uint8_t encoding = 0;      // offset 525
};
PageTrailer readTrailer(const std::uint8_t* page);

// What is wrong with a received page, compared with the page the host asked for.
enum PageFault : unsigned {
  kPageSound = 0,
  kPageCheck = 1,      // the check byte is wrong
  kPageMisplaced = 2,  // file number or page number is not the one expected
};
unsigned pageFaults(const std::uint8_t* page, std::uint16_t fileNumber, std::uint64_t pageNumber);

// ---- block size and time-out ----

// "Acceleration" as pages per block: the largest power of two not above the value, 1..256.
std::uint16_t normaliseAcceleration(long long value);

// Timer 10: pages * 5,280,000 / baud * 5 + 2500 ms (integer arithmetic in that order: five times
// the time the block takes at 10 bits per byte, plus 2.5 s). A baud of 0 counts as 115200.
std::chrono::milliseconds blockTimeout(std::uint64_t pages, std::uint32_t baud);

// How long the link must stay quiet before a block is asked for again after a copy that went wrong:
// the rest of that copy (or a doubled one) may still be on its way, handed over by the adapter in
// pieces. Two pieces of 512 bytes at the link speed (10 bits per byte, rounded up) plus 20 ms for
// the adapter's and the driver's latency. A baud of 0 counts as 115200.
std::chrono::milliseconds quietGap(std::uint32_t baud);

// The repeat limit: 100 on an FTDI adapter (any of them, not only the first), else 10.
inline std::uint16_t repeatLimitFor(int portCode) { return link::isFtdiPort(portCode) ? 100 : 10; }

// ---- disk space ----

inline constexpr std::uint64_t kSpaceMargin = 1048576;

struct DiskSpaceInput {
  std::uint64_t im2Need = 0;  // pages to transfer * 528
  std::uint64_t wavNeed = 0;  // WAV sizes of the selected rows
  bool autoDecode = true;
  std::optional<std::uint64_t> freeDownload;  // nullopt: the query failed (unlimited)
  std::optional<std::uint64_t> freeDecode;
};
struct DiskSpaceVerdict {
  bool ok = true;
  bool decodeFolderShort = false;  // which folder is short when !ok
  std::uint64_t needed = 0;        // bytes needed including the margin
  std::uint64_t available = 0;     // free bytes of that folder
};
// One drive (equal free figures): need IM2 + WAV (when decoding) + 1 MiB. Two drives: the download
// folder needs IM2 + 1 MiB, and with decoding the decode folder WAV + 1 MiB.
DiskSpaceVerdict decideDiskSpace(const DiskSpaceInput& input);

// Free bytes available to the caller in the file system of `folder`; nullopt when the query fails.
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::filesystem::path& folder)>;
std::optional<std::uint64_t> freeSpaceOf(const std::filesystem::path& folder);

// ---- progress ----

// The smoothed transfer rate (pages per millisecond).
class TransferRate {
 public:
  // After each accepted block: `blockPages` just stored, `transferred` pages so far in this
  // download, `acceleration` pages per block.
  void onBlock(std::uint64_t blockPages, std::uint64_t transferred, std::uint32_t acceleration,
               std::chrono::steady_clock::time_point now);
  double pagesPerMs() const { return rate_; }
  void reset() { rate_ = 0; running_ = 0; }
  void restartCount() { running_ = 0; }

 private:
  double rate_ = 0;
  std::uint64_t running_ = 0;
  std::chrono::steady_clock::time_point start_{};
};

// "    (%.1f%% @ %.1f MB/min)"
std::string progressTitle(std::uint64_t transferred, std::uint64_t total, double pagesPerMs);
// "%3ld:%02ld" minutes and seconds left, or TextId::Estimating while the rate is 0.
std::string remainingTimeText(std::uint64_t transferred, std::uint64_t total, double pagesPerMs);
// A size in MB with one decimal ("%0.1f"), as the existing-file question shows it.
std::string megabytesText(std::uint64_t bytes);
// A size as the summaries show it: "%0.1f MB" from 1 MB on, else "%0.1f kB" (a short recording
// would read "0.0 MB").
std::string sizeText(std::uint64_t bytes);
// MB per minute of a rate in pages per millisecond.
inline double megabytesPerMinute(double pagesPerMs) { return pagesPerMs * 31680000.0 / 1048576.0; }

}  // namespace recdesk::operations
