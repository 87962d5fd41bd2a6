#include "audio/FileSystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace recdesk::audio {

namespace {

class DiskFileSystem final : public FileSystem {
 public:
  int open(const std::string& path, int flags, mode_t mode) override {
    return ::open(path.c_str(), flags, mode);
  }
  int close(int fd) override { return ::close(fd); }
  ssize_t read(int fd, void* buffer, std::size_t count) override { return ::read(fd, buffer, count); }
  ssize_t write(int fd, const void* buffer, std::size_t count) override { return ::write(fd, buffer, count); }
  ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
    return ::pwrite(fd, buffer, count, offset);
  }
  off_t lseek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
  int fstat(int fd, struct stat* st) override { return ::fstat(fd, st); }
  int ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
  int fadvise(int fd, off_t offset, off_t length, int advice) override {
    return ::posix_fadvise(fd, offset, length, advice);
  }

  bool exists(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
  }
  std::optional<std::uint64_t> fileSize(const std::string& path) override {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return size;
  }
  bool remove(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::remove(path, ec);
  }
};

}  // namespace

FileSystem& FileSystem::disk() {
  static DiskFileSystem files;
  return files;
}

}  // namespace recdesk::audio
