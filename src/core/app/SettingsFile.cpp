#include "app/SettingsFile.h"

#include <limits>

namespace recdesk::app {

SettingsFile::SettingsFile(std::filesystem::path file, FileStore& store) : path_(std::move(file)), store_(&store) {}

void SettingsFile::refresh(bool force) const {
  if (loaded_ && !force && holds_ > 0) return;
  const FileStore::Stamp now = store_->stamp(path_);
  if (loaded_ && !force && now == stamp_) return;
  loaded_ = true;
  stamp_ = now;
  problem_.clear();
  if (!now.exists) {
    text_.clear();
    doc_.parse(std::string_view());
    return;
  }
  FileStore::Content content = store_->read(path_, kMaxFileSize);
  problem_ = std::move(content.problem);
  // A forced read (before every write) mostly finds the text this object read or wrote last.
  if (content.text == text_) return;
  text_ = std::move(content.text);
  doc_.parse(text_);
}

std::string SettingsFile::readProblem() const {
  refresh();
  return problem_;
}

bool SettingsFile::hasKey(std::string_view section, std::string_view key) const {
  refresh();
  return doc_.find(section, key).has_value();
}

std::string SettingsFile::readText(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  refresh();
  const auto v = doc_.find(section, key);
  return std::string(v ? *v : defaultValue);
}

std::optional<std::int64_t> SettingsFile::parseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  // Accumulated as a negative number, so that the smallest 64-bit value fits too.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (saturated || value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::int64_t SettingsFile::readInt(std::string_view section, std::string_view key, std::int64_t defaultValue) const {
  bool noInteger = false;
  return readInt(section, key, defaultValue, noInteger);
}

std::int64_t SettingsFile::readInt(std::string_view section, std::string_view key, std::int64_t defaultValue,
                                   bool& noInteger) const {
  refresh();
  const auto v = doc_.find(section, key);
  noInteger = false;
  if (!v) return defaultValue;
  const auto value = parseInteger(*v);
  noInteger = !value;
  return value.value_or(0);
}

bool SettingsFile::holdsNoInteger(std::string_view section, std::string_view key) const {
  bool noInteger = false;
  readInt(section, key, 0, noInteger);
  return noInteger;
}

std::vector<std::string> SettingsFile::sections() const {
  refresh();
  return doc_.sectionNames();
}

std::vector<std::string> SettingsFile::keys(std::string_view section) const {
  refresh();
  return doc_.keyNames(section);
}

bool SettingsFile::write(const std::vector<Change>& changes, std::string* error) {
  refresh(true);  // a write keeps whatever the file holds right now
  if (!problem_.empty()) {
    if (error) *error = "Cannot save the settings: " + problem_ + "; the file is left as it is";
    return false;
  }
  // The changes go straight into the document; unless the file is saved, it is read again from the
  // text it was read from (or saved as), so that a failed write changes nothing.
  struct Restore {
    const SettingsFile& file;
    bool saved = false;
    ~Restore() {
      if (saved) return;
      try {
        file.doc_.parse(std::string_view(file.text_));
      } catch (...) {  // out of memory: the next read parses the file again
        file.text_.clear();
        file.loaded_ = false;
      }
    }
  } restore{*this};
  for (const auto& c : changes) {
    if (c.value) {
      if (!doc_.set(c.section, c.key, *c.value)) {
        if (error) *error = "Cannot save the settings: \"" + c.section + "\" / \"" + c.key + "\" is not a valid name";
        return false;
      }
    } else if (c.key.empty()) {
      doc_.removeSection(c.section);
    } else {
      doc_.removeKey(c.section, c.key);
    }
  }
  std::string text = doc_.text();
  if (text.size() > kMaxFileSize) {
    if (error) *error = "Cannot save the settings: the file would grow beyond " + std::to_string(kMaxFileSize) + " bytes";
    return false;
  }
  std::string why;
  if (!store_->replace(path_, text, &why, hook_)) {
    if (error) *error = why;
    return false;
  }
  restore.saved = true;
  text_ = std::move(text);
  stamp_ = store_->stamp(path_);
  return true;
}

bool SettingsFile::writeText(std::string_view section, std::string_view key, std::string_view value,
                             std::string* error) {
  return write({Change{std::string(section), std::string(key), std::string(value)}}, error);
}

bool SettingsFile::writeInt(std::string_view section, std::string_view key, std::int64_t value, std::string* error) {
  return writeText(section, key, std::to_string(value), error);
}

bool SettingsFile::removeKey(std::string_view section, std::string_view key, std::string* error) {
  if (key.empty()) return false;
  return write({Change{std::string(section), std::string(key), std::nullopt}}, error);
}

bool SettingsFile::removeSection(std::string_view section, std::string* error) {
  return write({Change{std::string(section), std::string(), std::nullopt}}, error);
}

}  // namespace recdesk::app
