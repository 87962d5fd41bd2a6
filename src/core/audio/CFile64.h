#pragma once
// A file with 64-bit lengths and positions over the operating system's file descriptors.
// A failed Open returns false and fills a FileError; every later failure throws a FileError.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "audio/FileSystem.h"

namespace recdesk::audio {

// The file error: cause (from the operating-system error), OS error number, path.
class FileError : public std::runtime_error {
 public:
  enum Cause {
    kNone = 0,
    kGeneric = 1,
    kFileNotFound = 2,
    kBadPath = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kInvalidFile = 6,
    kRemoveCurrentDir = 7,
    kDirectoryFull = 8,
    kBadSeek = 9,
    kHardIo = 10,
    kSharingViolation = 11,
    kLockViolation = 12,
    kDiskFull = 13,
    kEndOfFile = 14,
  };
  // No error yet (an Open's error to fill): shares one "no error" text, so it costs no allocation.
  FileError();
  FileError(Cause cause, int osError, std::string path);

  Cause cause() const { return cause_; }
  int osError() const { return osError_; }
  const std::string& path() const { return path_; }
  // A sentence for the user: what went wrong with which file.
  std::string describe() const;
  static Cause causeFromErrno(int osError);

 private:
  Cause cause_ = kNone;
  int osError_ = 0;
  std::string path_;
};

class CFile64 {
 public:
  // Access, creation and share values (the subset the program uses).
  enum Access : std::uint32_t { kRead = 1, kWrite = 2, kReadWrite = 3 };
  enum Creation : std::uint32_t {
    kCreateNew = 1,      // fail when the file exists
    kCreateAlways = 2,   // create or truncate
    kOpenExisting = 3,   // fail when missing
    kOpenAlways = 4,     // open or create
    kTruncateExisting = 5,
  };
  enum Share : std::uint32_t { kShareNone = 0, kShareRead = 1, kShareWrite = 2 };
  enum Origin { kBegin = 0, kCurrent = 1, kEnd = 2 };

  // `files` holds the file (the disk unless a test or fuzz target keeps it in memory); it must outlive
  // this object.
  explicit CFile64(FileSystem& files = FileSystem::disk()) : fs_(&files) {}
  ~CFile64();  // Destroy: closes when open (errors on this path are swallowed)
  CFile64(const CFile64&) = delete;
  CFile64& operator=(const CFile64&) = delete;

  bool Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
            FileError* error);
  void Close();
  void Abort();
  std::size_t Read(void* buffer, std::size_t count);
  void Write(const void* buffer, std::size_t count);
  // origin kBegin: offset is the new position; kCurrent/kEnd: plus the offset (forward = true) or minus it.
  std::uint64_t Seek(std::uint64_t offset, Origin origin, bool forward = true);
  std::uint64_t SeekToBegin() { return Seek(0, kBegin); }
  std::uint64_t GetLength() const;
  std::uint64_t GetPosition() const;
  // Sets the end of the file at the current position.
  void SetEndOfFile();

  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  FileSystem& fileSystem() const { return *fs_; }

 private:
  [[noreturn]] void raise(int osError) const;
  FileSystem* fs_;
  int fd_ = -1;
  bool closeOnDestroy_ = false;
  std::string path_;
};

}  // namespace recdesk::audio
