#include "operations/DownloadMath.h"

#include <limits>
#include <system_error>

#include "audio/Im2Format.h"
#include "lang/Strings.h"

namespace recdesk::operations {

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

}  // namespace

PageTrailer readTrailer(const std::uint8_t* page) {
  PageTrailer t;
  t.fileNumber = audio::readU16(page + audio::kOffFileNumber);
  t.serial = audio::readU16(page + audio::kOffSerial);
  t.startTime = audio::readU32(page + audio::kOffStartTime);
  t.pageNumber = audio::readU32(page + audio::kOffPageNumber);
  t.format = page[audio::kOffFormat];
  t.encoding = page[audio::kOffEncoding];
  return t;
}

unsigned pageFaults(const std::uint8_t* page, std::uint16_t fileNumber, std::uint64_t pageNumber) {
  unsigned faults = kPageSound;
  if (!audio::pageCheckOk(page)) faults |= kPageCheck;
  const PageTrailer t = readTrailer(page);
  if (t.fileNumber != fileNumber || t.pageNumber != static_cast<std::uint32_t>(pageNumber)) faults |= kPageMisplaced;
  return faults;
}

std::uint16_t normaliseAcceleration(long long value) {
  if (value <= 1) return 1;
  if (value >= 256) return 256;
  std::uint16_t p = 1;
  while (static_cast<long long>(p) * 2 <= value) p = static_cast<std::uint16_t>(p * 2);
  return p;
}

std::chrono::milliseconds blockTimeout(std::uint64_t pages, std::uint32_t baud) {
  const std::uint64_t b = baud == 0 ? 115200 : baud;
  return std::chrono::milliseconds(static_cast<std::int64_t>(pages * (kPageSize * 10 * 1000) / b * 5 + 2500));
}

std::chrono::milliseconds quietGap(std::uint32_t baud) {
  const std::uint64_t b = baud == 0 ? 115200 : baud;
  const std::uint64_t bits = 1024 * 10 * 1000;  // two pieces, in bit-milliseconds
  return std::chrono::milliseconds(static_cast<std::int64_t>((bits + b - 1) / b + 20));
}

DiskSpaceVerdict decideDiskSpace(const DiskSpaceInput& in) {
  DiskSpaceVerdict v;
  const auto fits = [](const std::optional<std::uint64_t>& free, std::uint64_t need) {
    return !free || *free >= need;
  };
  const bool oneDrive = in.freeDownload == in.freeDecode;
  if (oneDrive && in.autoDecode) {
    const std::uint64_t need = saturatingAdd(saturatingAdd(in.im2Need, in.wavNeed), kSpaceMargin);
    if (!fits(in.freeDownload, need)) {
      v.ok = false;
      v.needed = need;
      v.available = *in.freeDownload;
    }
    return v;
  }
  const std::uint64_t im2 = saturatingAdd(in.im2Need, kSpaceMargin);
  if (!fits(in.freeDownload, im2)) {
    v.ok = false;
    v.needed = im2;
    v.available = *in.freeDownload;
    return v;
  }
  if (!oneDrive && in.autoDecode) {
    const std::uint64_t wav = saturatingAdd(in.wavNeed, kSpaceMargin);
    if (!fits(in.freeDecode, wav)) {
      v.ok = false;
      v.decodeFolderShort = true;
      v.needed = wav;
      v.available = *in.freeDecode;
    }
  }
  return v;
}

std::optional<std::uint64_t> freeSpaceOf(const std::filesystem::path& folder) {
  std::error_code ec;
  const auto info = std::filesystem::space(folder, ec);
  if (ec || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
  return static_cast<std::uint64_t>(info.available);
}

void TransferRate::onBlock(std::uint64_t blockPages, std::uint64_t transferred, std::uint32_t acceleration,
                           std::chrono::steady_clock::time_point now) {
  running_ += blockPages;
  if (transferred <= acceleration) {
    start_ = now;
    return;
  }
  if (running_ <= 300) return;
  const double ms = std::chrono::duration<double, std::milli>(now - start_).count();
  if (ms > 0) {
    const double current = static_cast<double>(transferred - acceleration) / ms;
    rate_ = rate_ == 0 ? current : 0.4 * current + 0.6 * rate_;
  }
  running_ = 0;
}

std::string progressTitle(std::uint64_t transferred, std::uint64_t total, double pagesPerMs) {
  const double percent = total == 0 ? 100.0 : static_cast<double>(transferred) / static_cast<double>(total) * 100.0;
  return lang::formatText("    (%.1f%% @ %.1f MB/min)", {percent, megabytesPerMinute(pagesPerMs)});
}

std::string remainingTimeText(std::uint64_t transferred, std::uint64_t total, double pagesPerMs) {
  if (pagesPerMs <= 0) return lang::text(TextId::Estimating);
  const std::uint64_t left = total > transferred ? total - transferred : 0;
  const double seconds = static_cast<double>(left) / pagesPerMs / 1000.0;
  const long whole = seconds > 1e12 ? static_cast<long>(1e12) : static_cast<long>(seconds);
  return lang::formatText("%3ld:%02ld", {whole / 60, whole % 60});
}

std::string megabytesText(std::uint64_t bytes) {
  return lang::formatText("%0.1f", {static_cast<double>(bytes) / 1048576.0});
}

std::string sizeText(std::uint64_t bytes) {
  const double kilobytes = static_cast<double>(bytes) / 1024.0;
  // Just under 1 MB would round to "1024.0 kB": that is "1.0 MB".
  if (kilobytes < 1023.95) return lang::formatText("%0.1f kB", {kilobytes});
  return megabytesText(bytes) + " MB";
}

}  // namespace recdesk::operations
