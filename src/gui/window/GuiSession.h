#pragma once
// The desktop program's session: settings, the Qt event loop and user interface, the
// communications log, the session owner on the configured link (or the built-in simulated recorder
// of --demo) and the recording list with the download plugged in. The main window draws it; this
// object holds no widget. No Qt header here.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/QtEventLoop.h"
#include "platform/QtUserInterface.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "link/CommsLog.h"
#include "operations/DownloadSession.h"
#include "session/Host.h"

namespace recdesk::sim {
class SimLink;
class SimRecorder;
}

namespace recdesk::gui {

struct GuiOptions {
  bool demo = false;
  // The demo's simulated recorder: its clock this many seconds off this computer's, its timer armed.
  long long demoClockOffset = 0;
  bool demoTimerArmed = false;
  std::string demoModel = "R5";  // "R5", "R5U" (the reduced variant), "R6" or "T7" (the transmitter)
  bool demoLocked = false;  // locked with the demo PIN; the demo's own invented PIN table is written for it
  std::optional<std::filesystem::path> settingsFile;  // default: app::defaultSettingsPath()
  std::optional<std::filesystem::path> logFolder;     // default: link::CommsLog::defaultFolder()
  std::shared_ptr<sim::SimRecorder> demoDevice;      // the demo's device; default: the demo recorder
  bool fullDemo = false;  // the demo recorder's recordings are a minute long (--demo), not a few seconds
};

class GuiSession {
 public:
  explicit GuiSession(const GuiOptions& options);
  ~GuiSession();
  GuiSession(const GuiSession&) = delete;
  GuiSession& operator=(const GuiSession&) = delete;

  // Starts the session on the configured link (the first connect attempt; retries follow by timer).
  void start();
  // The close request: the recorder's reset line and the closing log line; the link closes once the
  // line is out (shutdownComplete) or when this object goes.
  void closeRequest();
  bool shutdownComplete() const { return host_->shutdownComplete(); }

  bool demo() const { return demo_; }
  app::Settings& settings() { return settings_; }
  app::SettingsFile& settingsFile() { return file_; }
  QtEventLoop& loop() { return loop_; }
  QtUserInterface& ui() { return ui_; }
  link::CommsLog& log() { return log_; }
  session::Host& host() { return *host_; }
  operations::DownloadSession& operations() { return *operations_; }
  // The demo's simulated link (null without --demo): its cable can be pulled and put back.
  sim::SimLink* demoLink() const { return simLink_.get(); }
  // Writes the main window's keys ("LastTolvik7Config", "FilePrefix" and, with `placement`, its
  // position and size). The demo keeps the user's own prefix in the file.
  bool saveMainWindow(bool placement);
  // Writes one line to the communications log.
  void logText(const std::string& text) { log_.append(text); }

 private:
  bool demo_;
  app::SettingsFile file_;
  app::Settings settings_;
  QtEventLoop loop_;
  QtUserInterface ui_;
  link::CommsLog log_;
  std::shared_ptr<sim::SimLink> simLink_;
  std::unique_ptr<session::Host> host_;
  std::unique_ptr<operations::DownloadSession> operations_;
  bool closing_ = false;
  std::string storedPrefix_;  // the prefix of the settings file (the demo runs without one)
};

}  // namespace recdesk::gui
