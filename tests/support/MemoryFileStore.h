#pragma once
// Files read and replaced whole, kept in memory (see app/FileStore.h): for fuzz targets and tests
// that exercise the settings file's logic without the disk. A save honours the fault hook as the
// disk's does, except that a failing step never leaves half a file behind anywhere.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/FileStore.h"

namespace recdesk::test {

class MemoryFileStore final : public app::FileStore {
 public:
  // Another program writes the file.
  void put(const std::filesystem::path& file, std::string_view content) {
    File& f = files_[file.native()];
    f.text.assign(content);  // in the room the file had
    f.version = ++version_;
  }
  std::optional<std::string> content(const std::filesystem::path& file) const {
    const auto it = files_.find(file.native());
    if (it == files_.end()) return std::nullopt;
    return it->second.text;
  }
  std::uint64_t saves() const { return saves_; }

  Stamp stamp(const std::filesystem::path& file) const override {
    Stamp s;
    const auto it = files_.find(file.native());
    if (it == files_.end()) return s;
    s.exists = true;
    s.size = it->second.text.size();
    s.inode = it->second.version;  // every write makes a new one, as a rename does
    return s;
  }

  Content read(const std::filesystem::path& file, std::size_t limit) const override {
    Content c;
    const auto it = files_.find(file.native());
    if (it == files_.end()) {
      c.problem = "cannot read \"" + file.string() + "\" (" + std::strerror(ENOENT) + ")";
      return c;
    }
    const std::string& text = it->second.text;
    c.text = text.substr(0, limit);
    if (text.size() > limit)
      c.problem = "\"" + file.string() + "\" is larger than " + std::to_string(limit) + " bytes";
    return c;
  }

  bool replace(const std::filesystem::path& file, std::string_view content, std::string* error,
               const app::SaveFaultHook& hook) override {
    if (hook) {
      for (const auto step : {app::SaveStep::kCreateTemp, app::SaveStep::kWrite, app::SaveStep::kSync,
                              app::SaveStep::kRename}) {
        if (const int osError = hook(step); osError != 0) {
          if (error) *error = "Cannot save \"" + file.string() + "\": (" + std::strerror(osError) + ")";
          return false;
        }
      }
    }
    ++saves_;
    put(file, content);
    return true;
  }

 private:
  struct File {
    std::string text;
    std::uint64_t version = 0;
  };
  std::map<std::string, File, std::less<>> files_;  // by the path's own text: a look-up copies nothing
  std::uint64_t version_ = 0;
  std::uint64_t saves_ = 0;
};

}  // namespace recdesk::test
