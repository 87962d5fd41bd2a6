// PCM WAV files as a playback source: 8 or 16 bits, mono or stereo, read in blocks of whole frames.
#include <algorithm>
#include <array>

#include "audio/CFile64.h"
#include "audio/WaveFile.h"
#include "playback/PlaybackSource.h"

namespace recdesk::playback {
namespace {

using audio::CFile64;
using audio::FileError;

constexpr std::uint64_t kHeaderSize = 44;

class WavSource : public PlaybackSource {
 public:
  bool open(const std::string& path, std::string& error);

  PcmFormat format() const override { return format_; }
  std::size_t next(std::uint8_t* out) override;
  void rewind() override { moveTo(0); }
  bool seekMs(std::int64_t ms) override;
  std::int64_t pieceCount() const override {
    return static_cast<std::int64_t>((dataBytes_ + piece() - 1) / piece());
  }
  void seekPiece(std::int64_t index) override {
    moveTo(std::min(static_cast<std::uint64_t>(std::max<std::int64_t>(index, 0)) * piece(), dataBytes_));
  }
  std::int64_t decodedMs() const override { return msOf(position_); }
  std::int64_t lengthMs() const override { return msOf(dataBytes_); }

 private:
  std::uint64_t piece() const { return kMaxPiece / align_ * align_; }
  std::int64_t msOf(std::uint64_t bytes) const {
    return static_cast<std::int64_t>(bytes * 1000 / format_.byteRate());
  }
  void moveTo(std::uint64_t byte) {
    position_ = byte;
    file_.Seek(kHeaderSize + byte, CFile64::kBegin);
  }

  CFile64 file_;
  PcmFormat format_;
  std::uint64_t align_ = 1;
  std::uint64_t dataBytes_ = 0;  // whole frames the file holds
  std::uint64_t position_ = 0;   // the next byte of audio data
};

bool WavSource::open(const std::string& path, std::string& error) {
  FileError fileError;
  if (!file_.Open(path, CFile64::kRead, CFile64::kShareRead | CFile64::kShareWrite, CFile64::kOpenExisting,
                  &fileError)) {
    error = fileError.describe();
    return false;
  }
  std::array<std::uint8_t, kHeaderSize> bytes{};
  audio::WaveHeader header;
  const std::size_t got = file_.Read(bytes.data(), bytes.size());
  if (!audio::WaveHeader::fromBytes(bytes.data(), got, header) ||
      (header.bitsPerSample != 8 && header.bitsPerSample != 16) || header.channels > 2) {
    error = path + " is not a PCM WAV file of 8 or 16 bits, mono or stereo";
    return false;
  }
  format_ = {header.sampleRate, header.bitsPerSample, header.channels};
  align_ = header.blockAlign;
  // A header that announces more than the file holds plays what is there.
  const std::uint64_t length = file_.GetLength();
  const std::uint64_t present = length > kHeaderSize ? length - kHeaderSize : 0;
  dataBytes_ = std::min<std::uint64_t>(header.dataLength, present) / align_ * align_;
  return true;
}

std::size_t WavSource::next(std::uint8_t* out) {
  const auto want = static_cast<std::size_t>(std::min(piece(), dataBytes_ - position_));
  if (want == 0) return 0;
  const std::size_t got = file_.Read(out, want) / align_ * align_;
  if (got < want) dataBytes_ = position_ + got;  // the file ended early (it shrank)
  position_ += got;
  return got;
}

bool WavSource::seekMs(std::int64_t ms) {
  if (dataBytes_ == 0 || ms > lengthMs()) return false;
  std::uint64_t byte =
      static_cast<std::uint64_t>(std::max<std::int64_t>(ms, 0)) * format_.byteRate() / 1000 / align_ * align_;
  if (byte >= dataBytes_) byte = (dataBytes_ - 1) / piece() * piece();
  moveTo(byte);
  return true;
}

}  // namespace

std::unique_ptr<PlaybackSource> openWavSource(const std::string& path, std::string& error) {
  auto source = std::make_unique<WavSource>();
  try {
    if (!source->open(path, error)) return nullptr;
  } catch (const FileError& e) {
    error = e.describe();
    return nullptr;
  }
  return source;
}

}  // namespace recdesk::playback
