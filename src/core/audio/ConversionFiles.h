#pragma once
// The converter's own files: the IM2 file read in whole pages, the byte ring of a container stream,
// and the information file written beside each WAV part.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/CFile64.h"
#include "FlashPage.h"

namespace recdesk::audio {

// A text file written as in text mode: every line break is stored as CR LF (a "\r\n" given by the
// caller is one line break, not two).
class InfoFile {
 public:
  explicit InfoFile(FileSystem& files) : file_(files) {}
  bool open(const std::string& path, FileError* error) {
    buffer_.clear();
    buffer_.reserve(1024);  // a part's report; a long list of faulty pages grows it
    return file_.Open(path, CFile64::kWrite, CFile64::kShareRead, CFile64::kCreateAlways, error);
  }
  bool isOpen() const { return file_.isOpen(); }
  void write(std::string_view s) {
    if (!file_.isOpen()) return;
    append(s);
    if (buffer_.size() >= 16384) flush();
  }
  // write(s + "\n") without the joined copy: a "\r" ending `s` is part of the line break.
  void writeLine(std::string_view s) {
    if (!file_.isOpen()) return;
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    append(s);
    buffer_ += "\r\n";
    if (buffer_.size() >= 16384) flush();
  }
  void flush() {
    if (!buffer_.empty() && file_.isOpen()) {
      // Emptied even when the write fails; the room stays for the next lines.
      struct Empty {
        std::string& buffer;
        ~Empty() { buffer.clear(); }
      } empty{buffer_};
      file_.Write(buffer_.data(), buffer_.size());
    }
  }
  void close() {
    flush();
    file_.Close();
  }
  // Closes without raising (after a file error).
  void closeQuietly() {
    try {
      close();
    } catch (const FileError&) {
      file_.Abort();
    }
    buffer_.clear();
  }

 private:
  // The text between line breaks goes in whole.
  void append(std::string_view s) {
    while (!s.empty()) {
      const auto lf = s.find('\n');
      if (lf == std::string_view::npos) {
        buffer_ += s;
        return;
      }
      const std::size_t end = lf > 0 && s[lf - 1] == '\r' ? lf - 1 : lf;
      buffer_ += s.substr(0, end);
      buffer_ += "\r\n";
      s.remove_prefix(lf + 1);
    }
  }

  CFile64 file_;
  std::string buffer_;
};

inline constexpr std::size_t kReadPages = 64;            // pages per read from the IM2 file
inline constexpr std::size_t kRingSize = 4 * kPageSize;  // 2112 bytes of container stream

// Whole pages from the IM2 file, read in batches. A read that ends inside a page ends the file there.
class PageReader {
 public:
  // The buffer is left as it comes: every read fills what is used of it. A file shorter than a batch
  // gets a buffer one page longer than itself, so that the first read already finds its end.
  PageReader(CFile64& file, std::uint64_t fileLength)
      : file_(file),
        bytes_(static_cast<std::size_t>(std::clamp<std::uint64_t>(fileLength / kPageSize + 1, 1, kReadPages)) * kPageSize),
        buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(bytes_)) {}
  // The next whole page, or nullptr at the end of the file.
  const std::uint8_t* next() {
    if (pos_ + kPageSize > length_) {
      if (eof_) return nullptr;
      length_ = file_.Read(buffer_.get(), bytes_);
      pos_ = 0;
      if (length_ < bytes_) eof_ = true;
      if (length_ < kPageSize) {
        length_ = 0;
        return nullptr;
      }
    }
    const std::uint8_t* page = buffer_.get() + pos_;
    pos_ += kPageSize;
    return page;
  }

 private:
  CFile64& file_;
  std::size_t bytes_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t length_ = 0;
  bool eof_ = false;
};

// The byte ring of a container stream.
class Ring {
 public:
  std::size_t size() const { return size_; }
  bool append(const std::uint8_t* data, std::size_t n) {
    if (size_ + n > bytes_.size()) return false;
    for (std::size_t i = 0; i < n; ++i) bytes_[(head_ + size_ + i) % bytes_.size()] = data[i];
    size_ += n;
    return true;
  }
  void take(std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = bytes_[(head_ + i) % bytes_.size()];
    head_ = (head_ + n) % bytes_.size();
    size_ -= n;
  }

 private:
  std::array<std::uint8_t, kRingSize> bytes_{};
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace recdesk::audio
