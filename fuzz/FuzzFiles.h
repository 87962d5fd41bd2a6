#pragma once
// Files for fuzz targets whose code under test only works on paths. They live in a folder of this
// process in memory (/dev/shm when the machine has it, else the temporary folder), are written with
// plain system calls and are reused from input to input: no disk and no flush ever slows a run down.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace recdesk::fuzz {

// This process's own folder, made on first use and removed at exit.
inline const std::filesystem::path& memoryFolder() {
  // Never destroyed, so that the clean-up at exit can still name it.
  static const std::filesystem::path* const dir = [] {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
      base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "recdesk-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    auto* made = new std::filesystem::path(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(memoryFolder(), ignored);
    });
    return made;
  }();
  return *dir;
}

// Replaces the content of `path` with the bytes.
inline void writeWhole(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) std::abort();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace recdesk::fuzz
