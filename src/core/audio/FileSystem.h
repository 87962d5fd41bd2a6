#pragma once
// The file system under CFile64, WaveFile and the IM2 converter: the operating system's own calls for
// the program; files in memory for fuzz targets and tests, which then run without a system call.
// The descriptor calls behave as the POSIX calls of the same names (-1 and errno on failure); the
// path calls as their std::filesystem namesakes with an error code.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace recdesk::audio {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual int open(const std::string& path, int flags, mode_t mode) = 0;
  virtual int close(int fd) = 0;
  virtual ssize_t read(int fd, void* buffer, std::size_t count) = 0;
  virtual ssize_t write(int fd, const void* buffer, std::size_t count) = 0;
  virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) = 0;
  virtual off_t lseek(int fd, off_t offset, int whence) = 0;
  virtual int fstat(int fd, struct stat* st) = 0;
  virtual int ftruncate(int fd, off_t length) = 0;
  // A hint on how the file will be read; returns 0 or an error number, as posix_fadvise.
  virtual int fadvise(int fd, off_t offset, off_t length, int advice) = 0;

  // Whether something exists at the path; false also when that cannot be told.
  virtual bool exists(const std::string& path) = 0;
  // The size of a regular file; nothing when there is none or it cannot be told.
  virtual std::optional<std::uint64_t> fileSize(const std::string& path) = 0;
  // Removes a file (or an empty folder); false when nothing was removed.
  virtual bool remove(const std::string& path) = 0;

  // The operating system's files.
  static FileSystem& disk();
};

}  // namespace recdesk::audio
