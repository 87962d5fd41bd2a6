#include "link/CommsLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "lang/Strings.h"

namespace recdesk::link {

namespace fs = std::filesystem;

namespace {

constexpr char kBackspace = '\b';

std::string formatTime(const char* pattern, std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char buffer[64] = {};
  const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
  return std::string(buffer, n);
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The application's name as a file-name part: never a path of its own.
std::string fileNameSafe(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "RecDesk";
  return name;
}

}  // namespace

CommsLog::CommsLog() : CommsLog(defaultFolder()) {}

CommsLog::CommsLog(fs::path folder) : folder_(std::move(folder)) {}

fs::path CommsLog::defaultFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state && fs::path(state).is_absolute())
    return fs::path(state) / "recdesk";
  if (const char* home = std::getenv("HOME"); home && *home)
    return fs::path(home) / ".local" / "state" / "recdesk";
  return fs::path(".local") / "state" / "recdesk";
}

void CommsLog::setFolder(fs::path folder) {
  folder_ = std::move(folder);
}

void CommsLog::setLogFile(fs::path file) {
  logFile_ = std::move(file);
}

fs::path CommsLog::fileFor(std::time_t when) const {
  if (!logFile_.empty()) return logFile_;
  return folder_ / (fileNameSafe(lang::text(TextId::AppName)) + formatTime(".%Y%m%d.log", when));
}

fs::path CommsLog::currentFile() const {
  return fileFor(clock_ ? clock_() : std::time(nullptr));
}

void CommsLog::append(std::string_view text) {
  // Trim the shown text when it has grown long.
  if (shown_.size() >= kTrimThreshold) shown_.erase(0, kTrimCount);

  // Backspaces, from the left: each removes the character before it; one with nothing before it
  // erases a character of the text shown so far.
  std::string kept;
  kept.reserve(text.size());
  std::size_t erase = 0;
  for (char c : text) {
    if (c != kBackspace) {
      kept.push_back(c);
    } else if (!kept.empty()) {
      kept.pop_back();
    } else {
      ++erase;
    }
  }
  if (erase > shown_.size()) erase = shown_.size();

  // Line ends: drop "\n", then every "\r" becomes "\r\n".
  std::string normalised;
  normalised.reserve(kept.size() + kept.size() / 8);
  for (char c : kept) {
    if (c == '\n') continue;
    normalised.push_back(c);
    if (c == '\r') normalised.push_back('\n');
  }

  shown_.erase(shown_.size() - erase);
  shown_ += normalised;

  if (fileEnabled_) writeToFile(normalised, clock_ ? clock_() : std::time(nullptr));
  if (listener_) listener_(normalised, erase);
}

void CommsLog::writeToFile(const std::string& text, std::time_t when) const {
  const fs::path file = fileFor(when);
  if (logFile_.empty()) {
    std::error_code ec;
    fs::create_directories(folder_, ec);  // a failure shows as a failed open below
  }
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return;  // skipped silently
  writeAll(fd, formatTime("[%H:%M:%S] - ", when) + text);
  ::close(fd);
}

}  // namespace recdesk::link
