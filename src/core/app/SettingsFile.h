#pragma once
// The settings file: a private-profile (INI) file read key by key with a default for each key and
// written key by key, each write saved atomically at once.
//
// Reading never fails: a missing file is an empty one, unreadable lines are skipped, and the file is
// read again whenever it changed on the disk (another part of the program, or another program, may
// have written it). Every write first takes the file's current content, changes only its own keys and
// keeps everything else (other sections, unknown keys, comments, unreadable lines).
//
// Integers follow the private-profile rules: an optional sign and the leading decimal digits count,
// anything after them is ignored ("12abc" is 12). A value with no leading digit at all ("abc", or an
// empty value) is no integer: it reads as 0, never as the default, so that a damaged key is not taken
// for a missing one (a default would slip past every check made on the value read). Values too large
// for 64 bits stay at the largest (smallest) 64-bit value.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/AtomicFile.h"
#include "app/FileStore.h"
#include "app/IniDocument.h"

namespace recdesk::app {

class SettingsFile {
 public:
  // Larger files are read only up to this size and are never written (that would cut them off).
  static constexpr std::size_t kMaxFileSize = 4u << 20;

  struct Change {
    std::string section;
    std::string key;
    std::optional<std::string> value;  // no value: the key is removed
  };

  // `store` holds the file (the disk unless a test or fuzz target keeps it in memory); it must outlive
  // this object.
  explicit SettingsFile(std::filesystem::path file, FileStore& store = FileStore::disk());

  const std::filesystem::path& path() const { return path_; }

  bool hasKey(std::string_view section, std::string_view key) const;
  std::string readText(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  // The integer of a key: `defaultValue` when the key is missing, 0 when its value holds no integer.
  std::int64_t readInt(std::string_view section, std::string_view key, std::int64_t defaultValue) const;
  // The same, and in `noInteger` whether the key exists but its value holds no integer: one look-up
  // where readInt() and holdsNoInteger() would take two.
  std::int64_t readInt(std::string_view section, std::string_view key, std::int64_t defaultValue,
                       bool& noInteger) const;
  // True when the key exists but its value holds no integer (see above).
  bool holdsNoInteger(std::string_view section, std::string_view key) const;
  std::vector<std::string> sections() const;
  std::vector<std::string> keys(std::string_view section) const;

  // Writes and saves at once; false (with a sentence in `error`) when the file could not be saved, in
  // which case the file on the disk is unchanged.
  bool writeText(std::string_view section, std::string_view key, std::string_view value,
                 std::string* error = nullptr);
  bool writeInt(std::string_view section, std::string_view key, std::int64_t value, std::string* error = nullptr);
  bool removeKey(std::string_view section, std::string_view key, std::string* error = nullptr);
  bool removeSection(std::string_view section, std::string* error = nullptr);
  // Several keys in one save: all of them or (on failure) none.
  bool write(const std::vector<Change>& changes, std::string* error = nullptr);

  // Why the file could not be read as a whole (empty when it could): an unreadable or oversized file
  // reads as far as possible and refuses writes, so its content is never lost.
  std::string readProblem() const;

  // While a held read lives, reads see the file as it was when the hold began (one look at the disk
  // for a whole series of keys, and a consistent one); writes through this object still show.
  class HeldRead {
   public:
    explicit HeldRead(const SettingsFile& file) : file_(file) {
      file_.refresh();
      ++file_.holds_;
    }
    ~HeldRead() { --file_.holds_; }
    HeldRead(const HeldRead&) = delete;
    HeldRead& operator=(const HeldRead&) = delete;

   private:
    const SettingsFile& file_;
  };

  // Tests: simulated failures while saving.
  void setFaultHook(SaveFaultHook hook) { hook_ = std::move(hook); }

  // The private-profile integer of a text (see above); nullopt when it holds no leading digit.
  static std::optional<std::int64_t> parseInteger(std::string_view text);

 private:
  // Reads the file again when it changed on the disk (always when `force`: file times are coarse).
  void refresh(bool force = false) const;

  std::filesystem::path path_;
  FileStore* store_;
  SaveFaultHook hook_;
  mutable IniDocument doc_;
  // What doc_ was read from or saved as: a read finding the same text keeps doc_, and a failed write
  // reads it again.
  mutable std::string text_;
  mutable FileStore::Stamp stamp_;
  mutable bool loaded_ = false;
  mutable int holds_ = 0;
  mutable std::string problem_;
};

}  // namespace recdesk::app
