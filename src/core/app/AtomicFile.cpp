#include "app/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace recdesk::app {

namespace {

int injected(const SaveFaultHook& hook, SaveStep step) { return hook ? hook(step) : 0; }

bool failWith(std::string* error, const std::string& what, const std::filesystem::path& file, int osError) {
  if (error) *error = "Cannot save \"" + file.string() + "\": " + what + " (" + std::strerror(osError) + ")";
  return false;
}

bool writeAll(int fd, const char* data, std::size_t size, int& osError) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      osError = errno;
      return false;
    }
    if (n == 0) {
      osError = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The file a path stands for: a symbolic link (also a chain of them) is followed.
std::filesystem::path resolveTarget(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path target = file;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
    const auto next = std::filesystem::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& file, std::string_view content, std::string* error,
                         const SaveFaultHook& hook) {
  const std::filesystem::path target = resolveTarget(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return failWith(error, "the folder cannot be created", target, ec.value());

  mode_t mode = 0600;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return failWith(error, "it is a folder", target, EISDIR);
    mode = st.st_mode & 07777;
  }

  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  int osError = injected(hook, SaveStep::kCreateTemp);
  int fd = -1;
  if (osError == 0) {
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) osError = errno;
  }
  if (fd < 0) return failWith(error, "no temporary file can be created beside it", target, osError);

  auto abandon = [&](const std::string& what, int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return failWith(error, what, target, err);
  };

  ::fchmod(fd, mode);
  osError = injected(hook, SaveStep::kWrite);
  if (osError != 0) {
    int ignored = 0;
    writeAll(fd, content.data(), content.size() / 2, ignored);
    return abandon("writing failed", osError);
  }
  if (!writeAll(fd, content.data(), content.size(), osError)) return abandon("writing failed", osError);

  osError = injected(hook, SaveStep::kSync);
  if (osError == 0 && ::fsync(fd) != 0) osError = errno;
  if (osError != 0) return abandon("the data could not be flushed to the disk", osError);
  if (::close(fd) != 0) {
    osError = errno;
    ::unlink(temp.c_str());
    return failWith(error, "writing failed", target, osError);
  }

  osError = injected(hook, SaveStep::kRename);
  if (osError == 0 && ::rename(temp.c_str(), target.c_str()) != 0) osError = errno;
  if (osError != 0) {
    ::unlink(temp.c_str());
    return failWith(error, "the new content could not replace the old file", target, osError);
  }

  // Make the rename itself durable.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace recdesk::app
