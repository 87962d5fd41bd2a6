#pragma once
// What the playback worker plays: a recording file read piece by piece into PCM. IM2 recordings
// (ordinary and container) are decoded page by page; WAV files are read in blocks. Each source
// plays what its file holds: a partial download plays the pages present.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/Im2Format.h"

namespace recdesk::playback {

struct PcmFormat {
  std::uint32_t rate = 0;
  int bits = 16;  // 8 (unsigned) or 16 (signed little-endian)
  int channels = 1;
  std::uint32_t byteRate() const { return rate * static_cast<std::uint32_t>(bits / 8 * channels); }
};

// The largest piece next() produces.
inline constexpr std::size_t kMaxPiece = audio::kPageOutputBuffer;

class PlaybackSource {
 public:
  virtual ~PlaybackSource() = default;
  virtual PcmFormat format() const = 0;
  // Decodes the next piece into `out` (kMaxPiece bytes); 0 after the last one. Throws
  // audio::FileError when the file cannot be read.
  virtual std::size_t next(std::uint8_t* out) = 0;
  // Back to the first piece.
  virtual void rewind() = 0;
  // Moves to the piece that holds `ms` (a recording's nearest page); a time at the very end goes to
  // the last piece. False, with nothing changed, for a time beyond what the file holds.
  virtual bool seekMs(std::int64_t ms) = 0;
  // The pieces the file holds (an IM2 recording's pages), and a move to the start of one of them.
  virtual std::int64_t pieceCount() const = 0;
  virtual void seekPiece(std::int64_t index) = 0;
  // Milliseconds of audio before the next piece.
  virtual std::int64_t decodedMs() const = 0;
  // Length of what the file holds, and of the whole recording (a partial IM2 download announces
  // more than it holds).
  virtual std::int64_t lengthMs() const = 0;
  virtual std::int64_t totalMs() const { return lengthMs(); }
  // When the recording began (the null date for WAV files).
  virtual audio::DateTime startTime() const { return {}; }
};

// Opens an IM2 recording. Null with `error` set when the file cannot be opened or holds no
// recording the decoder can play.
std::unique_ptr<PlaybackSource> openIm2Source(const std::string& path, std::string& error);
// Opens a PCM WAV file of 8 or 16 bits, mono or stereo. Null with `error` set otherwise.
std::unique_ptr<PlaybackSource> openWavSource(const std::string& path, std::string& error);

}  // namespace recdesk::playback
