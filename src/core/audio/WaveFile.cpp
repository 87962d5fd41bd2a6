#include "audio/WaveFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "audio/Im2Format.h"

namespace recdesk::audio {

namespace {

constexpr std::size_t kHeaderSize = 44;
constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// A length for a 32-bit header field: lengths past 4 GiB stay at the largest value instead of wrapping.
std::uint32_t clamp32(std::uint64_t v) { return v > kMax32 ? kMax32 : static_cast<std::uint32_t>(v); }

}  // namespace

std::array<std::uint8_t, 44> WaveHeader::toBytes() const {
  std::array<std::uint8_t, 44> b{};
  std::memcpy(&b[0], "RIFF", 4);
  writeU32(&b[4], riffLength);
  std::memcpy(&b[8], "WAVE", 4);
  std::memcpy(&b[12], "fmt ", 4);
  writeU32(&b[16], 16);
  writeU16(&b[20], formatTag);
  writeU16(&b[22], channels);
  writeU32(&b[24], sampleRate);
  writeU32(&b[28], byteRate);
  writeU16(&b[32], blockAlign);
  writeU16(&b[34], bitsPerSample);
  std::memcpy(&b[36], "data", 4);
  writeU32(&b[40], dataLength);
  return b;
}

bool WaveHeader::fromBytes(const std::uint8_t* bytes, std::size_t size, WaveHeader& out) {
  if (bytes == nullptr || size < kHeaderSize) return false;
  if (!chunkTagIs(bytes, "RIFF") || !chunkTagIs(bytes + 8, "WAVE") || !chunkTagIs(bytes + 12, "fmt ") ||
      !chunkTagIs(bytes + 36, "data"))
    return false;
  if (readU32(bytes + 16) != 16) return false;  // the plain 16-byte PCM format chunk, data right after it
  WaveHeader h;
  h.riffLength = readU32(bytes + 4);
  h.formatTag = readU16(bytes + 20);
  h.channels = readU16(bytes + 22);
  h.sampleRate = readU32(bytes + 24);
  h.byteRate = readU32(bytes + 28);
  h.blockAlign = readU16(bytes + 32);
  h.bitsPerSample = readU16(bytes + 34);
  h.dataLength = readU32(bytes + 40);
  if (h.formatTag != 1) return false;
  if (h.channels == 0 || h.sampleRate == 0) return false;
  if (h.bitsPerSample != 8 && h.bitsPerSample != 16 && h.bitsPerSample != 24 && h.bitsPerSample != 32) return false;
  // The derived fields must agree with the format, so nothing divides by a zero byte rate later.
  const std::uint64_t align = static_cast<std::uint64_t>(h.channels) * h.bitsPerSample / 8;
  if (h.blockAlign != align) return false;
  if (static_cast<std::uint64_t>(h.byteRate) != align * h.sampleRate) return false;
  out = h;
  return true;
}

WaveFile::~WaveFile() {
  if (!file_.isOpen()) return;
  try {
    Close();  // corrects the lengths also when the owner unwinds after an error
  } catch (...) {
    file_.Abort();
  }
}

bool WaveFile::Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
                    FileError* error) {
  if (file_.isOpen()) {
    try {
      Close();
    } catch (const FileError&) {
      file_.Abort();
    }
  }
  access_ = access;
  header_ = WaveHeader{};
  headerValid_ = true;
  lastCount_ = 0;
  lastWriteOk_ = true;
  lastError_ = FileError();

  // A file opened for writing is also opened for reading when allowed, so that the header of an
  // existing file can be read back.
  bool canRead = (access & CFile64::kRead) != 0;
  FileError openError;
  bool opened = false;
  if (!canRead && (access & CFile64::kWrite) != 0) {
    opened = file_.Open(path, CFile64::kReadWrite, share, creation, &openError);
    canRead = opened;
  }
  if (!opened && !file_.Open(path, access, share, creation, &openError)) {
    if (error) *error = openError;
    return false;
  }

  try {
    const std::uint64_t length = file_.GetLength();
    const bool canWrite = (access & CFile64::kWrite) != 0;
    if (length > kHeaderSize || (!canWrite && length == kHeaderSize)) {
      std::array<std::uint8_t, kHeaderSize> bytes{};
      std::size_t got = 0;
      if (canRead) {
        file_.SeekToBegin();
        got = file_.Read(bytes.data(), bytes.size());
      }
      WaveHeader read;
      headerValid_ = got == kHeaderSize && WaveHeader::fromBytes(bytes.data(), got, read);
      if (headerValid_) header_ = read;
      file_.Seek(kHeaderSize, CFile64::kBegin);
    } else if (canWrite) {
      // A new (or too short) file: the default header, written right away.
      file_.SeekToBegin();
      const auto bytes = header_.toBytes();
      file_.Write(bytes.data(), bytes.size());
    } else {
      headerValid_ = false;  // read-only and too short to hold a header
      file_.Seek(0, CFile64::kEnd);
    }
  } catch (const FileError& e) {
    if (error) *error = e;
    file_.Abort();
    return false;
  }
  return true;
}

void WaveFile::SetFormat(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
  header_.channels = channels;
  header_.sampleRate = rate;
  header_.bitsPerSample = bits;
  const std::uint64_t bitsPerFrame = static_cast<std::uint64_t>(bits) * channels;
  header_.byteRate = clamp32(bitsPerFrame * rate / 8);
  header_.blockAlign = static_cast<std::uint16_t>(std::min<std::uint64_t>(bitsPerFrame / 8, 0xFFFF));
  const std::uint64_t position = file_.GetPosition();
  file_.SeekToBegin();
  const auto bytes = header_.toBytes();
  file_.Write(bytes.data(), bytes.size());
  file_.Seek(position, CFile64::kBegin);
  headerValid_ = true;  // the file now starts with our own header
}

void WaveFile::GetFormat(std::uint32_t& rate, std::uint16_t& bits, std::uint16_t& channels) const {
  rate = header_.sampleRate;
  bits = header_.bitsPerSample;
  channels = header_.channels;
}

void WaveFile::WriteAndExtend(const void* buffer, std::size_t count) {
  file_.Write(buffer, count);
  file_.SetEndOfFile();
}

bool WaveFile::WriteAtPosition(const void* buffer, std::size_t count) {
  lastCount_ = 0;
  lastWriteOk_ = false;
  if (!file_.isOpen()) {
    lastError_ = FileError(FileError::kInvalidFile, EBADF, file_.path());
    return false;
  }
  try {
    const std::uint64_t position = file_.GetPosition();
    FileSystem& files = file_.fileSystem();
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      const std::size_t chunk = std::min<std::size_t>(count - done, 1u << 30);
      const ssize_t n = files.pwrite(file_.fd(), in + done, chunk, static_cast<off_t>(position + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        const int osError = errno;
        throw FileError(done > 0 ? FileError::kDiskFull : FileError::causeFromErrno(osError), osError, file_.path());
      }
      if (n == 0) throw FileError(FileError::kDiskFull, ENOSPC, file_.path());
      done += static_cast<std::size_t>(n);
    }
    file_.Seek(position + done, CFile64::kBegin);
    lastCount_ = clamp32(done);
    lastWriteOk_ = true;
    return true;
  } catch (const FileError& e) {
    lastError_ = e;
    return false;
  }
}

bool WaveFile::WaitWrite(bool wait) {
  (void)wait;  // writes complete before WriteAtPosition returns
  return lastWriteOk_;
}

std::uint32_t WaveFile::Seconds() const {
  if (header_.byteRate == 0) return 0;
  const std::uint64_t length = file_.isOpen() ? file_.GetLength() : 0;
  if (length < kHeaderSize) return 0;
  return clamp32((length - kHeaderSize) / header_.byteRate);
}

void WaveFile::Close() {
  if (!file_.isOpen()) return;
  try {
    if ((access_ & CFile64::kWrite) != 0 && headerValid_) {
      // The header is never cut off: the file keeps at least its 44 bytes.
      if (file_.GetPosition() < kHeaderSize) file_.Seek(kHeaderSize, CFile64::kBegin);
      file_.SetEndOfFile();
      const std::uint64_t length = file_.GetLength();
      header_.riffLength = clamp32(length - 8);
      header_.dataLength = clamp32(length - kHeaderSize);
      file_.SeekToBegin();
      const auto bytes = header_.toBytes();
      file_.Write(bytes.data(), bytes.size());
    }
  } catch (...) {
    file_.Abort();
    throw;
  }
  file_.Close();
}

}  // namespace recdesk::audio
