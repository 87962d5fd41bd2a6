#pragma once
// The communications log: every line sent and received plus the session's progress and status
// messages. It keeps the text a log window shows (trimmed when it grows long) and appends the same
// text, time-stamped, to the log file of the day.
//
// Log folder: $XDG_STATE_HOME/recdesk/ (default ~/.local/state/recdesk/). File of the day: the
// application's name (TextId::AppName) + strftime(".%Y%m%d.log") of the local time of writing, so a new file
// starts at local midnight. A fixed log file (recdesk-cli --log FILE) replaces the daily files. Each
// append is written as strftime("[%H:%M:%S] - ") + the text; the file is opened for appending, never
// truncated, and an append that cannot be written is skipped silently.
#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace recdesk::link {

class CommsLog {
 public:
  // When the shown text holds this many characters or more before an append, its first
  // kTrimCount characters go.
  static constexpr std::size_t kTrimThreshold = 16384;
  static constexpr std::size_t kTrimCount = 4097;

  using WallClock = std::function<std::time_t()>;
  // Called after every append with the text as appended (line ends "\r\n") and the number of
  // characters that leading backspaces erased from the end of the text shown before.
  using Listener = std::function<void(const std::string& text, std::size_t erased)>;

  // Daily files in defaultFolder().
  CommsLog();
  // Daily files in `folder`.
  explicit CommsLog(std::filesystem::path folder);

  // $XDG_STATE_HOME/recdesk, else $HOME/.local/state/recdesk (relative to the current folder when
  // neither is set).
  static std::filesystem::path defaultFolder();

  void setFolder(std::filesystem::path folder);
  const std::filesystem::path& folder() const { return folder_; }
  // Writes every append to `file` instead of the daily files (empty: back to the daily files).
  void setLogFile(std::filesystem::path file);
  const std::filesystem::path& logFile() const { return logFile_; }
  // false: nothing is written to files (the shown text is still kept).
  void setFileEnabled(bool enabled) { fileEnabled_ = enabled; }

  void setClock(WallClock clock) { clock_ = std::move(clock); }
  void setListener(Listener listener) { listener_ = std::move(listener); }

  // Shows the text and writes it to the file. Backspaces (character 8) remove the character before
  // them; those at the start of the text erase characters from the end of the text shown. "\n" is
  // dropped and every "\r" becomes "\r\n".
  void append(std::string_view text);

  // What a log window displays.
  const std::string& shownText() const { return shown_; }
  void clearShown() { shown_.clear(); }

  // The file the next append goes to (today's daily file, or the fixed log file).
  std::filesystem::path currentFile() const;

 private:
  std::filesystem::path folder_;
  std::filesystem::path logFile_;
  bool fileEnabled_ = true;
  WallClock clock_;
  Listener listener_;
  std::string shown_;

  void writeToFile(const std::string& text, std::time_t when) const;
  std::filesystem::path fileFor(std::time_t when) const;
};

}  // namespace recdesk::link
