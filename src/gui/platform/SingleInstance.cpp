#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace recdesk::gui {

std::filesystem::path SingleInstance::defaultFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::filesystem::path(runtime) / "recdesk";
  return std::filesystem::temp_directory_path() / ("recdesk-" + std::to_string(getuid()));
}

SingleInstance::SingleInstance(const std::filesystem::path& folder)
    : folder_(folder.empty() ? defaultFolder() : folder) {
  // The folder is the user's own: made private, and refused when someone else owns it.
  if (mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
    problem_ = "cannot make " + folder_.string() + ": " + std::strerror(errno);
    return;
  }
  struct stat st {};
  if (lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    problem_ = folder_.string() + " is not a folder of this user";
    return;
  }
  const auto file = folder_ / "recdesk.lock";
  fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    problem_ = "cannot open " + file.string() + ": " + std::strerror(errno);
    return;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) other_ = true;
    else problem_ = "cannot lock " + file.string() + ": " + std::strerror(errno);
    close(fd_);
    fd_ = -1;
  }
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

}  // namespace recdesk::gui
