#pragma once
// Files in memory under CFile64, WaveFile and the converter (see audio/FileSystem.h): for fuzz
// targets and tests. Paths are names only (no folders: any path can hold a file); descriptors
// are numbered far above the process's own, so that one never reaches a real file.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/FileSystem.h"

namespace recdesk::test {

class MemoryFileSystem final : public audio::FileSystem {
 public:
  // No file grows beyond `capacity` bytes: a write stops there as on a full disk (and no input makes a
  // fuzz target eat the memory).
  explicit MemoryFileSystem(std::size_t capacity = std::size_t{64} << 20) : capacity_(capacity) {}

  void put(const std::string& path, std::string_view content) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    files_[path] = std::make_shared<Bytes>(bytes, bytes + content.size());  // copied whole, not char by char
  }
  std::optional<std::string> content(const std::string& path) const {
    const auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return std::string(it->second->begin(), it->second->end());
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files_) names.push_back(name);
    return names;
  }
  std::size_t openFiles() const { return open_.size(); }

  int open(const std::string& path, int flags, mode_t) override {
    auto it = files_.find(path);
    if (it == files_.end()) {
      if ((flags & O_CREAT) == 0) return fail(ENOENT);
      it = files_.emplace(path, std::make_shared<Bytes>()).first;
    } else if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0) {
      return fail(EEXIST);
    }
    const int access = flags & O_ACCMODE;
    if ((flags & O_TRUNC) != 0 && access != O_RDONLY) it->second->clear();
    const int fd = nextFd_++;
    open_[fd] = Open{it->second, 0, access != O_WRONLY, access != O_RDONLY};
    return fd;
  }
  int close(int fd) override { return open_.erase(fd) == 1 ? 0 : fail(EBADF); }

  ssize_t read(int fd, void* buffer, std::size_t count) override {
    Open* f = find(fd);
    if (f == nullptr || !f->canRead) return fail(EBADF);
    const Bytes& bytes = *f->bytes;
    if (f->position >= bytes.size()) return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes.size() - f->position);
    std::memcpy(buffer, bytes.data() + f->position, n);
    f->position += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(int fd, const void* buffer, std::size_t count) override {
    Open* f = find(fd);
    const ssize_t n = writeAt(f, buffer, count, f ? f->position : 0);
    if (n > 0) f->position += static_cast<std::uint64_t>(n);
    return n;
  }
  ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
    if (offset < 0) return fail(EINVAL);
    return writeAt(find(fd), buffer, count, static_cast<std::uint64_t>(offset));
  }
  off_t lseek(int fd, off_t offset, int whence) override {
    Open* f = find(fd);
    if (f == nullptr) return fail(EBADF);
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
      base = static_cast<std::int64_t>(f->position);
    else if (whence == SEEK_END)
      base = static_cast<std::int64_t>(f->bytes->size());
    else if (whence != SEEK_SET)
      return fail(EINVAL);
    if (offset < -base || offset > std::numeric_limits<off_t>::max() - base) return fail(EINVAL);
    f->position = static_cast<std::uint64_t>(base + offset);
    return static_cast<off_t>(f->position);
  }
  int fstat(int fd, struct stat* st) override {
    Open* f = find(fd);
    if (f == nullptr) return fail(EBADF);
    *st = {};
    st->st_mode = S_IFREG | 0600;
    st->st_size = static_cast<off_t>(f->bytes->size());
    return 0;
  }
  int ftruncate(int fd, off_t length) override {
    Open* f = find(fd);
    if (f == nullptr || !f->canWrite) return fail(f ? EINVAL : EBADF);
    if (length < 0) return fail(EINVAL);
    if (static_cast<std::uint64_t>(length) > capacity_) return fail(EFBIG);
    f->bytes->resize(static_cast<std::size_t>(length));
    return 0;
  }
  int fadvise(int fd, off_t, off_t, int) override { return find(fd) ? 0 : EBADF; }

  bool exists(const std::string& path) override { return files_.count(path) != 0; }
  std::optional<std::uint64_t> fileSize(const std::string& path) override {
    const auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second->size();
  }
  // An open file stays readable and writable through its descriptors, as on the disk.
  bool remove(const std::string& path) override { return files_.erase(path) == 1; }

 private:
  using Bytes = std::vector<std::uint8_t>;
  struct Open {
    std::shared_ptr<Bytes> bytes;
    std::uint64_t position = 0;
    bool canRead = false;
    bool canWrite = false;
  };

  static int fail(int error) {
    errno = error;
    return -1;
  }
  Open* find(int fd) {
    const auto it = open_.find(fd);
    return it == open_.end() ? nullptr : &it->second;
  }
  ssize_t writeAt(Open* f, const void* buffer, std::size_t count, std::uint64_t offset) {
    if (f == nullptr || !f->canWrite) return fail(EBADF);
    if (count == 0) return 0;
    if (offset >= capacity_) return fail(ENOSPC);
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, capacity_ - offset));  // what still fits
    Bytes& bytes = *f->bytes;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    // A file grows in steps of at least 4 KiB, not first by the few bytes of a header.
    const std::size_t end = static_cast<std::size_t>(offset) + count;
    if (end > bytes.capacity()) bytes.reserve(std::max({end, 2 * bytes.capacity(), std::size_t{4096}}));
    if (offset > bytes.size()) bytes.resize(static_cast<std::size_t>(offset));  // a hole reads as zeros
    const std::size_t overlap = std::min<std::size_t>(count, bytes.size() - static_cast<std::size_t>(offset));
    if (overlap > 0) std::memcpy(bytes.data() + offset, in, overlap);
    bytes.insert(bytes.end(), in + overlap, in + count);
    return static_cast<ssize_t>(count);
  }

  std::size_t capacity_;
  std::map<std::string, std::shared_ptr<Bytes>> files_;
  std::map<int, Open> open_;
  int nextFd_ = 1 << 24;
};

}  // namespace recdesk::test
