#pragma once
// A connected session for any recdesk-cli command: settings, the event loop, the terminal UI, the
// communications log (daily files, --log FILE or --no-log) and the session host on the chosen link — the recorder on a serial
// device (--device PATH), a port code (--port CODE, else the settings' "Port"), or the built-in
// simulated recorder (--demo, presented as the FTDI adapter so that the speed agreement runs too).
// The settings file is read for every run; the link options only override it.
//
// Everything runs on the real event loop: the paced write costs its 15 ms per byte, also in the demo.
#include <functional>
#include <memory>
#include <string>

#include "Cli.h"
#include "CliUi.h"
#include "app/Settings.h"
#include "ports/ThreadEventLoop.h"
#include "session/Host.h"

namespace recdesk::link {
class CommsLog;
}
namespace recdesk::sim {
class SimLink;
class SimRecorder;
}  // namespace recdesk::sim

namespace recdesk::cli {

class CliSession {
 public:
  // Demo device: recordings and seed.
  static constexpr int kDemoRecordings = 3;

  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // Builds the session from the command line; null with a sentence in `error` when the options do
  // not name a usable link or the log file cannot be written.
  static std::unique_ptr<CliSession> create(const CliContext& context, std::string& error);
  // create() and connect() for a command that prints its own answer (no waiting texts between its
  // lines): null with a sentence in `error` when either fails (the session is closed then).
  static std::unique_ptr<CliSession> connected(const CliContext& context, std::string& error);

  // Opens the link and waits until the recorder has answered the whole query chain (version, list,
  // type, flash, free space, clock). False with a sentence in `error` when the link cannot be opened,
  // no recorder answered within the time-out, or the recorder's timer is armed (unless `armedIsOk`:
  // then it returns as soon as the recorder reported that, see host().state().timerArmed).
  // A recorder clock off by more than a minute is warned about on stderr (unless "IgnoreRTC" is 1).
  bool connect(std::string& error, bool armedIsOk = false);
  // Runs the event loop until `done` is true or `limit` has passed; returns `done()`.
  bool runUntil(const std::function<bool()>& done, ports::Millis limit);
  // Ends the session as the program does when it closes (the recorder's reset line, link closed).
  void close();

  session::Host& host() { return *host_; }
  ports::ThreadEventLoop& loop() { return loop_; }
  CliUi& ui() { return ui_; }
  app::Settings& settings() { return settings_; }
  const CliContext& context() const { return context_; }
  ports::Millis timeout() const { return timeout_; }
  // The simulated recorder of --demo (null otherwise).
  sim::SimRecorder* simulatedDevice();
  // Where the session connects, in words ("serial device /dev/ttyUSB0", "FTDI adapter 0", …).
  const std::string& linkDescription() const { return linkDescription_; }

 private:
  explicit CliSession(const CliContext& context);

  CliContext context_;
  app::Settings settings_;
  CliUi ui_;
  ports::ThreadEventLoop loop_;
  std::unique_ptr<link::CommsLog> log_;
  std::shared_ptr<sim::SimLink> simLink_;
  std::unique_ptr<session::Host> host_;
  // Notes whether a recorder was met at all (for the message when the chain does not complete).
  struct Watch : session::SessionObserver {
    session::Host* host = nullptr;
    bool recorderMet = false;
    bool clockWarned = false;
    void onStateChanged() override {
      if (host && host->flags().recorderConnected) recorderMet = true;
    }
    void onClockDifference(const session::DateTime& recorderTime, long long seconds) override;
  } watch_;
  std::string devicePath_;
  std::string linkDescription_;
  ports::Millis timeout_{20000};
  bool closed_ = false;
};

// How far the recorder's clock is from this computer's: "same as this computer's clock",
// "42 s ahead of this computer's clock", "1:05:00 behind this computer's clock".
std::string clockDifferenceText(long long seconds);

}  // namespace recdesk::cli
