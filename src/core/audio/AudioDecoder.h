#pragma once
// AudioDecoder: reads the trailer of an IM2 header page (ParseHeader), then descrambles, checks and
// decodes one 528-byte page at a time into PCM (DecodePage), and does the time arithmetic built on
// pages. Every page is decoded by itself; nothing but the expectations (file number, serial number,
// start time, page number) carries from one page to the next.
//
// Formats the recorders never write are refused rather than decoded into noise: encoded bits with an
// undefined bits index (4..7), and 4 encoded bits with an encoding other than 3, 4, 5 and 6. For
// such a recording formatSupported() is false and DecodePage produces no output.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/Im2Format.h"

namespace recdesk::ports {
class UserInterface;
}

namespace recdesk::audio {

// How the payload of a page is decoded.
enum class PageKind : std::uint8_t {
  Unsupported,
  Pcm16,           // 16 encoded bits: little-endian signed PCM
  Raw8,            // 8 bits, encodings 5 and 31: unsigned 8-bit PCM
  Difference8,     // 8 bits, encoding 3 (and every other value but 5, 6, 31)
  Prediction8,     // 8 bits, encoding 6
  Prediction8Out4, // 4 bits, encoding 5 (8-bit output)
  Difference4,     // 4 bits, encoding 3
  Adaptive4,       // 4 bits, encoding 4
  Prediction4,     // 4 bits, encoding 6
};

// Why a header's format cannot be decoded.
enum class FormatProblem : std::uint8_t {
  None,
  UndefinedBits,      // bits index 4..7 in the format byte
  UndefinedEncoding4, // 4 encoded bits with an encoding other than 3, 4, 5, 6
};

// Result of the format-version check of a header page.
enum class FormatVersion : std::uint8_t {
  Accepted,
  RejectedOld,     // message TextId::OlderFormat
  RejectedNew,     // message TextId::NewerFormat
  RejectedSilent,  // families 3..7: no message
};

// Minimum and maximum per channel of 16-bit samples.
struct Peaks {
  std::int32_t min[2] = {32767, 32767};
  std::int32_t max[2] = {-32768, -32768};
};

// The flags and the output size of one decoded page.
struct PageResult {
  std::uint32_t flags = 0;
  std::uint16_t bytes = 0;
};

class AudioDecoder {
 public:
  AudioDecoder() = default;

  // The page buffer: the page most recently read (the trailer is read in place).
  std::uint8_t* pageBuffer() { return page_.data(); }
  const std::uint8_t* pageBuffer() const { return page_.data(); }
  void setPage(const std::uint8_t* page);

  // Reads format, family and expectations from the page buffer's trailer. With offset counting
  // (the first inner page of a container stream) the page's own number becomes the first page number
  // and the next page must carry the number after it.
  void ParseHeader(bool offsetCounting);

  // Descrambles, checks and decodes the page buffer into `output` (at least kPageOutputBuffer bytes).
  // Does not advance the expected page number (nextPage does).
  PageResult DecodePage(std::uint8_t* output);
  void nextPage() { ++expectedPageNumber_; }

  // The format-version check of the header page in the page buffer: true when its family and
  // encoding are supported; otherwise shows TextId::OlderFormat or TextId::NewerFormat (families 0..2)
  // through `ui` when one is given, and returns false.
  bool CheckFormatVersion(ports::UserInterface* ui) const;
  static FormatVersion checkFormatVersion(int family, int encoding);

  // Minimum and maximum of each channel of little-endian 16-bit samples; in stereo even samples are
  // channel 1 and odd samples channel 2. Returns the number of samples scanned (bytes / 2).
  static std::size_t ScanPeaks(const std::uint8_t* samples, std::size_t bytes, int channels, Peaks& peaks);

  // Format of the parsed header.
  const std::string& deviceName() const { return deviceName_; }
  std::uint16_t fileNumber() const { return expectedFileNumber_; }
  std::uint32_t serialNumber() const { return expectedSerial_; }
  std::uint32_t startTimePacked() const { return expectedStartTime_; }
  int channels() const { return channels_; }
  bool container() const { return container_; }
  int encodedBits() const { return encodedBits_; }
  int outputBits() const { return outputBits_; }
  std::uint32_t sampleRate() const { return sampleRate_; }
  int encoding() const { return encoding_; }
  int family() const { return family_; }
  PageKind pageKind() const { return kind_; }
  bool formatSupported() const { return problem_ == FormatProblem::None; }
  FormatProblem formatProblem() const { return problem_; }
  // "encoding E at B bits" style description of the format byte and encoding, for messages.
  std::string describeFormat() const;

  // N = header page number + 1 (may be 0 or negative for a damaged header).
  std::int64_t pageCount() const { return pageCount_; }
  void setPageCount(std::int64_t n) { pageCount_ = n; }
  std::int64_t pagesAvailable() const { return pagesAvailable_; }
  void setPagesAvailable(std::int64_t n) { pagesAvailable_ = n; }
  std::int64_t expectedPageNumber() const { return expectedPageNumber_; }
  void setExpectedPageNumber(std::int64_t n) { expectedPageNumber_ = n; }
  std::int64_t firstPageNumber() const { return firstPageNumber_; }
  bool offsetCounting() const { return offsetCounting_; }
  bool complete() const { return complete_; }
  void setComplete(bool c) { complete_ = c; }
  std::int64_t queuedTimeMs() const { return queuedTimeMs_; }
  void setQueuedTimeMs(std::int64_t ms) { queuedTimeMs_ = ms; }
  const std::string& filePath() const { return filePath_; }
  void setFilePath(std::string path) { filePath_ = std::move(path); }

  // The page number in the page buffer's trailer.
  std::int32_t bufferPageNumber() const { return readS32(page_.data() + kOffPageNumber); }

  // Time arithmetic on `samples per page`.
  std::uint32_t samplesPerPage() const { return audio::samplesPerPage(encodedBits_, channels_); }
  std::int64_t durationMs(std::int64_t pages) const;
  std::int64_t pageIndexForMs(std::int64_t ms) const;
  // Duration of the pages up to the one in the page buffer, less the queued time.
  std::int64_t positionMs() const;
  std::int64_t totalLengthMs() const { return durationMs(pageCount_); }
  std::int64_t availableLengthMs() const { return durationMs(pagesAvailable_); }
  DateTime startTime() const { return unpackStartTime(expectedStartTime_); }
  DateTime currentTime() const;

 private:
  std::array<std::uint8_t, kPageSize> page_{};
  std::string filePath_;
  std::string deviceName_;
  bool complete_ = false;
  std::uint16_t expectedFileNumber_ = 0;
  std::uint32_t expectedStartTime_ = 0;
  std::uint32_t expectedSerial_ = 0;
  int encodedBits_ = 8;
  int outputBits_ = 16;
  std::uint32_t sampleRate_ = 8000;
  int channels_ = 1;
  int encoding_ = 0;
  int family_ = 0;
  PageKind kind_ = PageKind::Difference8;
  FormatProblem problem_ = FormatProblem::None;
  std::int64_t pageCount_ = 0;
  std::int64_t pagesAvailable_ = 0;
  std::int64_t expectedPageNumber_ = 0;
  std::int64_t firstPageNumber_ = 0;
  bool offsetCounting_ = false;
  bool container_ = false;
  std::int64_t queuedTimeMs_ = 0;
};

// The page kernel on its own: descrambles the 512 payload bytes of `page` (checking it on the way)
// and decodes them as `kind` with `channels` into `output`. Returns the output byte count; sets
// checkOk. Exposed for the benchmarks and the fuzz target.
std::uint16_t decodePagePayload(const std::uint8_t* page, PageKind kind, int channels, std::uint8_t* output,
                                bool& checkOk);

}  // namespace recdesk::audio
