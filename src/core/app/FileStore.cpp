#include "app/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace recdesk::app {

namespace {

class DiskStore final : public FileStore {
 public:
  Stamp stamp(const std::filesystem::path& file) const override {
    Stamp s;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    s.ctimeSec = st.st_ctim.tv_sec;
    s.ctimeNsec = st.st_ctim.tv_nsec;
    return s;
  }

  Content read(const std::filesystem::path& file, std::size_t limit) const override {
    Content content;
    // Never blocks on a pipe or a device, never reads without bound.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      content.problem = "cannot read \"" + file.string() + "\" (" + std::strerror(errno) + ")";
      return content;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      content.problem = "\"" + file.string() + "\" is not a regular file";
      return content;
    }
    std::string& text = content.text;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        content.problem = "cannot read \"" + file.string() + "\" (" + std::strerror(errno) + ")";
        break;
      }
      if (n == 0) break;
      const std::size_t room = limit - text.size();
      if (static_cast<std::size_t>(n) > room) {
        text.append(buffer, room);
        content.problem = "\"" + file.string() + "\" is larger than " + std::to_string(limit) + " bytes";
        break;
      }
      text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
  }

  bool replace(const std::filesystem::path& file, std::string_view content, std::string* error,
               const SaveFaultHook& hook) override {
    return writeFileAtomically(file, content, error, hook);
  }
};

}  // namespace

FileStore& FileStore::disk() {
  static DiskStore store;
  return store;
}

}  // namespace recdesk::app
