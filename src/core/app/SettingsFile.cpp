#include "app/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace recdesk::app {

SettingsFile::SettingsFile(std::filesystem::path file) : path_(std::move(file)) {}

SettingsFile::Stamp SettingsFile::stampOf(const std::filesystem::path& file) {
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

void SettingsFile::refresh(bool force) const {
  if (loaded_ && !force && holds_ > 0) return;
  const Stamp now = stampOf(path_);
  if (loaded_ && !force && now == stamp_) return;
  loaded_ = true;
  stamp_ = now;
  problem_.clear();
  if (!now.exists) {
    doc_.parse({});
    return;
  }
  // Never blocks on a pipe or a device, never reads without bound.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    problem_ = "cannot read \"" + path_.string() + "\" (" + std::strerror(errno) + ")";
    doc_.parse({});
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    problem_ = "\"" + path_.string() + "\" is not a regular file";
    doc_.parse({});
    return;
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      problem_ = "cannot read \"" + path_.string() + "\" (" + std::strerror(errno) + ")";
      break;
    }
    if (n == 0) break;
    const std::size_t room = kMaxFileSize - text.size();
    if (static_cast<std::size_t>(n) > room) {
      text.append(buffer, room);
      problem_ = "\"" + path_.string() + "\" is larger than " + std::to_string(kMaxFileSize) + " bytes";
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  doc_.parse(text);
}

std::string SettingsFile::readProblem() const {
  refresh();
  return problem_;
}

bool SettingsFile::hasKey(std::string_view section, std::string_view key) const {
  refresh();
  return doc_.find(section, key) != nullptr;
}

std::string SettingsFile::readText(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  refresh();
  const std::string* v = doc_.find(section, key);
  return v ? *v : std::string(defaultValue);
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
  refresh();
  const std::string* v = doc_.find(section, key);
  if (v == nullptr) return defaultValue;
  return parseInteger(*v).value_or(0);
}

bool SettingsFile::holdsNoInteger(std::string_view section, std::string_view key) const {
  refresh();
  const std::string* v = doc_.find(section, key);
  return v != nullptr && !parseInteger(*v);
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
  IniDocument next = doc_;
  for (const auto& c : changes) {
    if (c.value) {
      if (!next.set(c.section, c.key, *c.value)) {
        if (error) *error = "Cannot save the settings: \"" + c.section + "\" / \"" + c.key + "\" is not a valid name";
        return false;
      }
    } else if (c.key.empty()) {
      next.removeSection(c.section);
    } else {
      next.removeKey(c.section, c.key);
    }
  }
  const std::string text = next.text();
  if (text.size() > kMaxFileSize) {
    if (error) *error = "Cannot save the settings: the file would grow beyond " + std::to_string(kMaxFileSize) + " bytes";
    return false;
  }
  std::string why;
  if (!writeFileAtomically(path_, text, &why, hook_)) {
    if (error) *error = why;
    return false;
  }
  doc_ = std::move(next);
  stamp_ = stampOf(path_);
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
