#pragma once
// A WAV file on CFile64 that keeps the 44-byte RIFF header in memory, reads it from existing files,
// writes a default one for new files and corrects both lengths on Close (also when the owner unwinds
// after an error and only the destructor runs).
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "audio/CFile64.h"

namespace recdesk::audio {

// Whether the four bytes at `p` are the chunk tag `tag` ("RIFF", "fmt ", "data", ...).
inline bool chunkTagIs(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// The 44-byte header, in file order (little-endian on disk).
struct WaveHeader {
  std::uint32_t riffLength = 36;   // file length - 8
  std::uint16_t formatTag = 1;     // PCM
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 11025;
  std::uint32_t byteRate = 22050;
  std::uint16_t blockAlign = 2;
  std::uint16_t bitsPerSample = 16;
  std::uint32_t dataLength = 0;    // file length - 44

  std::array<std::uint8_t, 44> toBytes() const;
  // Reads a header from 44 bytes; false when the bytes are not a RIFF/WAVE "fmt "/"data" header.
  static bool fromBytes(const std::uint8_t* bytes, std::size_t size, WaveHeader& out);
};

class WaveFile {
 public:
  // `files`: see CFile64.
  explicit WaveFile(FileSystem& files = FileSystem::disk()) : file_(files) {}
  ~WaveFile();
  WaveFile(const WaveFile&) = delete;
  WaveFile& operator=(const WaveFile&) = delete;

  // Opens the file (CFile64 access/share/creation values). A file longer than 44 bytes has its header
  // read (position 44); otherwise the default header is written (position 44).
  bool Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
            FileError* error);
  void SetFormat(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);
  void GetFormat(std::uint32_t& rate, std::uint16_t& bits, std::uint16_t& channels) const;
  std::size_t Read(void* buffer, std::size_t count) { return file_.Read(buffer, count); }
  void WriteAndExtend(const void* buffer, std::size_t count);
  // Writes at the current position and moves past the bytes written. A failure does not throw: it
  // returns false, and WaitWrite reports it too (lastWriteError() says what went wrong).
  bool WriteAtPosition(const void* buffer, std::size_t count);
  bool WaitWrite(bool wait);
  const FileError& lastWriteError() const { return lastError_; }
  std::uint32_t Seconds() const;
  void Close();

  const WaveHeader& header() const { return header_; }
  // True when the header read from an existing file was a valid PCM WAV header.
  bool headerValid() const { return headerValid_; }
  CFile64& file() { return file_; }

 private:
  CFile64 file_;
  std::uint32_t access_ = 0;
  WaveHeader header_;
  bool headerValid_ = true;
  std::uint32_t lastCount_ = 0;
  bool lastWriteOk_ = true;
  FileError lastError_;
};

}  // namespace recdesk::audio
