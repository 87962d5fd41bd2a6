// IM2 recordings as a playback source: ordinary recordings page by page, container recordings
// through their stream of inner pages. Only the pages the file holds are played, and no more than
// the recording announces (like the conversion, so both give the same audio).
#include <algorithm>
#include <array>
#include <vector>

#include "audio/AudioDecoder.h"
#include "audio/CFile64.h"
#include "playback/PlaybackSource.h"

namespace recdesk::playback {
namespace {

using audio::AudioDecoder;
using audio::CFile64;
using audio::FileError;
using audio::kPayloadSize;
using recdesk::kPageSize;

class Im2Source : public PlaybackSource {
 public:
  bool open(const std::string& path, std::string& error);

  PcmFormat format() const override {
    return {decoder_.sampleRate(), decoder_.outputBits(), decoder_.channels()};
  }
  std::size_t next(std::uint8_t* out) override;
  void rewind() override { moveTo(0); }
  bool seekMs(std::int64_t ms) override;
  std::int64_t pieceCount() const override { return pages_; }
  void seekPiece(std::int64_t index) override { moveTo(std::clamp<std::int64_t>(index, 0, pages_)); }
  std::int64_t decodedMs() const override { return decoder_.durationMs(index_); }
  std::int64_t lengthMs() const override { return decoder_.durationMs(pages_); }
  std::int64_t totalMs() const override { return decoder_.durationMs(std::max(announced_, pages_)); }
  audio::DateTime startTime() const override { return decoder_.startTime(); }

 private:
  // The next data page is page `index` (0-based).
  void moveTo(std::int64_t index);
  // Container: the next 528 bytes of the inner stream into the decoder's page buffer.
  bool readInnerPage();

  CFile64 file_;
  AudioDecoder decoder_;  // the one whose format applies (the inner one of a container)
  AudioDecoder outer_;    // a container's outer pages
  bool container_ = false;
  std::int64_t pages_ = 0;            // data pages that can be played
  std::int64_t announced_ = 0;        // data pages the recording announces
  std::int64_t index_ = 0;            // the next data page
  std::vector<std::uint8_t> stream_;  // container: inner stream bytes read ahead
  std::size_t skip_ = 0;              // container: stream bytes to drop from the next outer page
};

bool Im2Source::open(const std::string& path, std::string& error) {
  FileError fileError;
  if (!file_.Open(path, CFile64::kRead, CFile64::kShareRead | CFile64::kShareWrite, CFile64::kOpenExisting,
                  &fileError)) {
    error = fileError.describe();
    return false;
  }
  const std::uint64_t filePages = file_.GetLength() / kPageSize;
  if (filePages == 0 || file_.Read(outer_.pageBuffer(), kPageSize) != kPageSize) {
    error = path + " is not an IM2 recording (shorter than one page)";
    return false;
  }
  outer_.ParseHeader(false);
  const auto dataPages = static_cast<std::int64_t>(filePages - 1);
  if (!outer_.container()) {
    decoder_ = outer_;
    announced_ = decoder_.pageCount() > 0 ? decoder_.pageCount() : dataPages;
    pages_ = std::min(announced_, dataPages);
  } else {
    container_ = true;
    // The stream of inner pages: an inner header, then the inner data pages.
    const std::int64_t streamPages = dataPages * static_cast<std::int64_t>(kPayloadSize) / kPageSize;
    moveTo(-1);
    if (streamPages < 1 || !readInnerPage()) {
      error = path + " is a container recording without an inner page";
      return false;
    }
    decoder_.ParseHeader(true);
    announced_ = decoder_.pageCount() > 0 ? decoder_.pageCount() : streamPages - 1;
    pages_ = std::min(announced_, streamPages - 1);
  }
  if (!decoder_.formatSupported()) {
    error = path + ": this recording format cannot be played (" + decoder_.describeFormat() + ")";
    return false;
  }
  pages_ = std::max<std::int64_t>(pages_, 0);
  moveTo(0);
  return true;
}

void Im2Source::moveTo(std::int64_t index) {
  index_ = index;
  if (!container_) {
    file_.Seek(static_cast<std::uint64_t>(index + 1) * kPageSize, CFile64::kBegin);
    decoder_.setExpectedPageNumber(index);
    return;
  }
  // Inner data page i is stream page i + 1; 32 inner pages fill 33 outer payloads exactly.
  const auto byte = static_cast<std::uint64_t>(index + 1) * kPageSize;
  const std::uint64_t outerPage = byte / kPayloadSize;
  skip_ = static_cast<std::size_t>(byte % kPayloadSize);
  stream_.clear();
  file_.Seek((outerPage + 1) * kPageSize, CFile64::kBegin);
  outer_.setExpectedPageNumber(static_cast<std::int64_t>(outerPage));
  if (index >= 0) decoder_.setExpectedPageNumber(decoder_.firstPageNumber() + 1 + index);
}

bool Im2Source::readInnerPage() {
  alignas(16) std::array<std::uint8_t, audio::kPageOutputBuffer> plain{};
  while (stream_.size() < kPageSize) {
    if (file_.Read(outer_.pageBuffer(), kPageSize) != kPageSize) return false;
    const auto r = outer_.DecodePage(plain.data());
    outer_.nextPage();
    const std::size_t from = std::min<std::size_t>(skip_, r.bytes);
    stream_.insert(stream_.end(), plain.begin() + static_cast<std::ptrdiff_t>(from), plain.begin() + r.bytes);
    skip_ = 0;
  }
  decoder_.setPage(stream_.data());
  stream_.erase(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(kPageSize));
  return true;
}

std::size_t Im2Source::next(std::uint8_t* out) {
  if (index_ >= pages_) return 0;
  if (container_) {
    if (!readInnerPage()) {
      pages_ = index_;  // the file ended early (it shrank)
      return 0;
    }
  } else if (file_.Read(decoder_.pageBuffer(), kPageSize) != kPageSize) {
    pages_ = index_;
    return 0;
  }
  const auto r = decoder_.DecodePage(out);  // playback ignores the page's flags
  decoder_.nextPage();
  ++index_;
  return r.bytes;
}

bool Im2Source::seekMs(std::int64_t ms) {
  if (pages_ <= 0 || ms > lengthMs()) return false;
  const std::int64_t page =
      std::clamp<std::int64_t>(decoder_.pageIndexForMs(std::max<std::int64_t>(ms, 0)), 0, pages_ - 1);
  moveTo(page);
  return true;
}

}  // namespace

std::unique_ptr<PlaybackSource> openIm2Source(const std::string& path, std::string& error) {
  auto source = std::make_unique<Im2Source>();
  try {
    if (!source->open(path, error)) return nullptr;
  } catch (const audio::FileError& e) {
    error = e.describe();
    return nullptr;
  }
  return source;
}

}  // namespace recdesk::playback
