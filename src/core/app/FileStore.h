#pragma once
// Where a file read and replaced whole (the settings file) keeps its bytes: the disk for the program,
// memory for fuzz targets and tests, so that they run without a system call.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/AtomicFile.h"

namespace recdesk::app {

class FileStore {
 public:
  // What tells a changed file from an unchanged one without reading it.
  struct Stamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Content {
    std::string text;     // at most the limit asked for
    std::string problem;  // why the file could not be read as a whole (empty when it could)
  };

  virtual ~FileStore() = default;
  virtual Stamp stamp(const std::filesystem::path& file) const = 0;
  // The content of an existing file, read up to `limit` bytes.
  virtual Content read(const std::filesystem::path& file, std::size_t limit) const = 0;
  // Replaces the whole content atomically (see writeFileAtomically, also for `hook`).
  virtual bool replace(const std::filesystem::path& file, std::string_view content, std::string* error,
                       const SaveFaultHook& hook) = 0;

  // The files on the disk.
  static FileStore& disk();
};

}  // namespace recdesk::app
