#include "audio/CFile64.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>

namespace recdesk::audio {

namespace {

const char* causeText(FileError::Cause cause) {
  switch (cause) {
    case FileError::kNone: return "no error";
    case FileError::kGeneric: return "the file operation failed";
    case FileError::kFileNotFound: return "the file was not found";
    case FileError::kBadPath: return "the path is not valid";
    case FileError::kTooManyOpenFiles: return "too many files are open";
    case FileError::kAccessDenied: return "access to the file was denied";
    case FileError::kInvalidFile: return "the file is not open or not valid";
    case FileError::kRemoveCurrentDir: return "the current folder cannot be removed";
    case FileError::kDirectoryFull: return "the folder is full";
    case FileError::kBadSeek: return "the file position could not be set";
    case FileError::kHardIo: return "a hardware input/output error occurred";
    case FileError::kSharingViolation: return "the file is in use";
    case FileError::kLockViolation: return "the file is locked";
    case FileError::kDiskFull: return "the disk is full";
    case FileError::kEndOfFile: return "the end of the file was reached";
  }
  return "the file operation failed";
}

std::string makeDescription(FileError::Cause cause, int osError, const std::string& path) {
  std::string text = causeText(cause);
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (!path.empty()) text += ": \"" + path + "\"";
  if (osError != 0) {
    text += " (";
    text += std::strerror(osError);
    text += ")";
  }
  return text + ".";
}

// The text of every FileError that holds no error; a copy of it shares the text.
const std::runtime_error& noError() {
  static const std::runtime_error error("no error");
  return error;
}

// Largest position the operating system's off_t can carry.
constexpr std::uint64_t kMaxPosition = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

}  // namespace

FileError::FileError() : std::runtime_error(noError()) {}

FileError::FileError(Cause cause, int osError, std::string path)
    : std::runtime_error(makeDescription(cause, osError, path)),
      cause_(cause),
      osError_(osError),
      path_(std::move(path)) {}

std::string FileError::describe() const { return makeDescription(cause_, osError_, path_); }

FileError::Cause FileError::causeFromErrno(int osError) {
  switch (osError) {
    case 0: return kNone;
    case ENOENT: return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EXDEV: return kBadPath;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST: return kAccessDenied;
    case EBADF: return kInvalidFile;
    case EMLINK: return kDirectoryFull;
    case ESPIPE:
    case EOVERFLOW: return kBadSeek;
    case EIO: return kHardIo;
    case EBUSY:
    case ETXTBSY: return kSharingViolation;
    case ENOLCK: return kLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kDiskFull;
    default: return kGeneric;
  }
}

CFile64::~CFile64() {
  if (fd_ < 0) return;
  if (closeOnDestroy_) {
    try {
      Close();
    } catch (...) {
      // A destructor never throws; the descriptor is released by Close in any case.
    }
  } else {
    Abort();
  }
}

bool CFile64::Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
                   FileError* error) {
  (void)share;  // POSIX files have no share modes; other openers are not locked out
  if (fd_ >= 0) Abort();

  int flags = O_CLOEXEC;
  switch (access & kReadWrite) {
    case kRead: flags |= O_RDONLY; break;
    case kWrite: flags |= O_WRONLY; break;
    case kReadWrite: flags |= O_RDWR; break;
    default:
      // No access at all: open for reading only (enough to ask for the length).
      flags |= O_RDONLY;
      break;
  }
  switch (creation) {
    case kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kOpenExisting: break;
    case kOpenAlways: flags |= O_CREAT; break;
    case kTruncateExisting: flags |= O_TRUNC; break;
    default:
      if (error) *error = FileError(FileError::kGeneric, EINVAL, path);
      return false;
  }

  int fd = -1;
  do {
    fd = fs_->open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int osError = errno;
    if (error) *error = FileError(FileError::causeFromErrno(osError), osError, path);
    return false;
  }
  // A folder is not a file (reading it would fail later with a confusing error).
  struct stat st {};
  if (fs_->fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    fs_->close(fd);
    if (error) *error = FileError(FileError::kAccessDenied, EISDIR, path);
    return false;
  }
  fd_ = fd;
  path_ = path;
  closeOnDestroy_ = true;
  return true;
}

void CFile64::Close() {
  if (fd_ < 0) {
    fd_ = -1;
    closeOnDestroy_ = false;
    path_.clear();
    return;
  }
  const int fd = fd_;
  const std::string path = path_;
  fd_ = -1;
  closeOnDestroy_ = false;
  path_.clear();
  // close() must not be retried on EINTR (the descriptor is gone either way on Linux).
  if (fs_->close(fd) != 0) {
    const int osError = errno;
    if (osError != EINTR) throw FileError(FileError::causeFromErrno(osError), osError, path);
  }
}

void CFile64::Abort() {
  if (fd_ >= 0) fs_->close(fd_);
  fd_ = -1;
  closeOnDestroy_ = false;
  path_.clear();
}

void CFile64::raise(int osError) const { throw FileError(FileError::causeFromErrno(osError), osError, path_); }

std::size_t CFile64::Read(void* buffer, std::size_t count) {
  if (fd_ < 0) raise(EBADF);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t chunk = std::min<std::size_t>(count - done, 1u << 30);
    const ssize_t n = fs_->read(fd_, out + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      raise(errno);
    }
    if (n == 0) break;  // end of the file
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void CFile64::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) raise(EBADF);
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t chunk = std::min<std::size_t>(count - done, 1u << 30);
    const ssize_t n = fs_->write(fd_, in + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int osError = errno;
      // Some bytes already written: the write came out short, which is a full disk.
      if (done > 0) throw FileError(FileError::kDiskFull, osError, path_);
      raise(osError);
    }
    if (n == 0) throw FileError(FileError::kDiskFull, ENOSPC, path_);
    done += static_cast<std::size_t>(n);
  }
}

std::uint64_t CFile64::Seek(std::uint64_t offset, Origin origin, bool forward) {
  if (fd_ < 0) raise(EBADF);
  std::uint64_t base = 0;
  switch (origin) {
    case kBegin: base = 0; forward = true; break;
    case kCurrent: base = GetPosition(); break;
    case kEnd: base = GetLength(); break;
    default: throw FileError(FileError::kBadSeek, EINVAL, path_);
  }
  std::uint64_t target = 0;
  if (forward) {
    if (offset > kMaxPosition - std::min(base, kMaxPosition)) throw FileError(FileError::kBadSeek, EINVAL, path_);
    target = base + offset;
  } else {
    // A position before the start of the file is refused, never wrapped around.
    if (offset > base) throw FileError(FileError::kBadSeek, EINVAL, path_);
    target = base - offset;
  }
  if (target > kMaxPosition) throw FileError(FileError::kBadSeek, EINVAL, path_);
  const off_t result = fs_->lseek(fd_, static_cast<off_t>(target), SEEK_SET);
  if (result < 0) {
    const int osError = errno;
    throw FileError(osError == EINVAL ? FileError::kBadSeek : FileError::causeFromErrno(osError), osError, path_);
  }
  return static_cast<std::uint64_t>(result);
}

std::uint64_t CFile64::GetLength() const {
  if (fd_ < 0) raise(EBADF);
  struct stat st {};
  if (fs_->fstat(fd_, &st) != 0) raise(errno);
  return st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t CFile64::GetPosition() const {
  if (fd_ < 0) raise(EBADF);
  const off_t pos = fs_->lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) raise(errno);
  return static_cast<std::uint64_t>(pos);
}

void CFile64::SetEndOfFile() {
  const std::uint64_t pos = GetPosition();
  int rc = 0;
  do {
    rc = fs_->ftruncate(fd_, static_cast<off_t>(pos));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) raise(errno);
}

}  // namespace recdesk::audio
