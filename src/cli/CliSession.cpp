#include "CliSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "CliLog.h"
#include "DemoPinTable.h"
#include "DemoRecorder.h"
#include "SimTimer.h"
#include "SimLink.h"
#include "app/SettingsFile.h"
#include "link/CommsLog.h"
#include "link/LinkTransport.h"

namespace recdesk::cli {

using namespace std::chrono_literals;

namespace {

std::string describePort(int port, const std::string& devicePath) {
  if (port >= 1 && port < link::kModeFtdi)
    return devicePath.empty() ? "serial port " + std::to_string(port) : "serial device " + devicePath;
  if (port >= link::kModeFtdi && port < link::kModeQuickUsb) return "FTDI adapter " + std::to_string(port - 1000);
  if (port >= link::kModeQuickUsb) return "QuickUSB module " + std::to_string(port - 2000);
  return "no port";
}

}  // namespace

std::string clockDifferenceText(long long seconds) {
  if (seconds == 0) return "same as this computer's clock";
  const unsigned long long m = seconds < 0 ? 0ULL - static_cast<unsigned long long>(seconds)
                                           : static_cast<unsigned long long>(seconds);
  char text[64];
  if (m < 60)
    std::snprintf(text, sizeof text, "%llu s", m);
  else
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", m / 3600, m / 60 % 60, m % 60);
  return std::string(text) + (seconds > 0 ? " ahead of" : " behind") + " this computer's clock";
}

void CliSession::Watch::onClockDifference(const session::DateTime&, long long seconds) {
  // The session checks once per connection, and not at all with "IgnoreRTC" 1.
  if (clockWarned) return;
  clockWarned = true;
  std::cerr << "recdesk-cli: warning: the recorder's clock is " << clockDifferenceText(seconds)
            << " (recdesk-cli clock --set now sets it)\n";
}

CliSession::CliSession(const CliContext& context) : context_(context), ui_(context.yes) {}

CliSession::~CliSession() {
  // The host goes before the loop and the log it uses.
  if (host_) host_->removeObserver(&watch_);
  host_.reset();
}

std::unique_ptr<CliSession> CliSession::connected(const CliContext& context, std::string& error) {
  auto session = create(context, error);
  if (!session) return nullptr;
  session->ui().quiet = true;
  if (!session->connect(error)) {
    session->close();
    return nullptr;
  }
  return session;
}

std::unique_ptr<CliSession> CliSession::create(const CliContext& context, std::string& error) {
  std::unique_ptr<CliSession> s(new CliSession(context));

  // The settings file always applies; the options below override it for this run only.
  {
    app::SettingsFile file(context.settingsFile ? *context.settingsFile : app::defaultSettingsPath());
    const app::LoadResult loaded = app::loadSettings(file);
    s->settings_ = loaded.settings;
    if (!loaded.readProblem.empty()) std::cerr << "recdesk-cli: warning: " << loaded.readProblem << "\n";
    for (const auto& key : loaded.noIntegers)
      std::cerr << "recdesk-cli: warning: " << key << " in " << file.path().string() << " holds no number: read as 0\n";
  }

  link::LinkTransport::ChannelFactory channels;
  if (context.demo) {
    s->settings_.port = static_cast<std::int16_t>(context.portCode.value_or(link::kModeFtdi));
    s->settings_.baud = context.baud.value_or(2000000);
    // Simulated recordings never go into the user's recording folders: the demo keeps to its own
    // folders and names its files without a prefix unless the command line says otherwise.
    s->settings_.downloadFolder.clear();
    s->settings_.decryptFolder.clear();
    s->settings_.filePrefix.clear();
    sim::DeviceConfig config;
    config.seed = 1;
    // The transmitter's command has a transmitter to talk to.
    if (context.command == "tx") config.model = sim::Model::T7;
    if (const auto model = sim::parseModel(context.demoModel)) config.model = *model;
    if (context.demoClockOff) config.clockOffsetSeconds = 120;
    auto device = sim::makeDemoRecorder(config, kDemoRecordings, sim::demoLengthForPeople());
    sim::SimTimerOptions timer;
    timer.armed = context.demoTimerArmed;
    sim::SimTimer::install(*device, timer);
    // Locked: the demo's invented PIN table is this run's PIN table (the settings file keeps its own).
    if (context.demoLocked) {
      if (!sim::lockWithDemoPin(*device, sim::demoPinTableFile(), error)) return nullptr;
      s->settings_.pinTable = sim::demoPinTableFile().string();
    }
    s->simLink_ = std::make_shared<sim::SimLink>(device);
    channels = s->simLink_->channelFactory();
    s->linkDescription_ = "the built-in simulated recorder";
  } else {
    if (context.devicePath) {
      s->devicePath_ = *context.devicePath;
      const int port = context.portCode.value_or(1);
      if (port < 1 || port >= link::kModeFtdi) {
        error = "--device names a serial device: --port must then be a serial port code (1-999)";
        return nullptr;
      }
      s->settings_.port = static_cast<std::int16_t>(port);
    } else if (context.portCode) {
      if (*context.portCode < 1 || *context.portCode > 32767) {
        error = "--port must be a port code from 1 to 32767 (1-999 serial, 1000+ FTDI, 2000+ QuickUSB)";
        return nullptr;
      }
      s->settings_.port = static_cast<std::int16_t>(*context.portCode);
    }
    if (context.baud) s->settings_.baud = *context.baud;
    if (s->settings_.port <= 0) {
      error = "no recorder port is configured: give --device PATH (a serial device), --port CODE, or --demo";
      return nullptr;
    }
    link::ChannelConfig config;
    config.serialDevicePath = s->devicePath_;
    if (s->devicePath_.empty() && s->settings_.port < link::kModeFtdi)
      s->devicePath_ = link::serialDevicePathFor(s->settings_.port, config);
    channels = link::defaultChannelFactory(config);
    s->linkDescription_ = describePort(s->settings_.port, s->devicePath_);
  }

  s->log_ = openCommsLog(context, error);
  if (!s->log_ && !error.empty()) return nullptr;

  const double seconds = std::isfinite(context.timeoutSeconds) ? context.timeoutSeconds : 20.0;
  s->timeout_ = ports::Millis(static_cast<long long>(std::clamp(seconds, 0.001, 86400.0) * 1000.0));
  s->host_ = std::make_unique<session::Host>(s->loop_, std::move(channels), s->ui_, s->settings_);
  s->watch_.host = s->host_.get();
  s->host_->addObserver(&s->watch_);
  if (s->log_) {
    link::CommsLog* log = s->log_.get();
    s->host_->setLogSink([log](const std::string& text) { log->append(text); });
  }
  return s;
}

sim::SimRecorder* CliSession::simulatedDevice() { return simLink_ ? &simLink_->device() : nullptr; }

bool CliSession::runUntil(const std::function<bool()>& done, ports::Millis limit) {
  return loop_.runUntil(done, limit);
}

bool CliSession::connect(std::string& error, bool armedIsOk) {
  auto& host = *host_;
  host.connectAttempt();
  if (!host.linkOpen()) {
    const std::string why = link::describeOpenError(settings_.port, host.lastOpenResult(), devicePath_);
    error = "cannot open " + linkDescription_ + (why.empty() ? "" : ": " + why);
    return false;
  }
  // A recorder whose timer is armed answers only "$R5,TIMER"; one that asks for its PIN answers
  // nothing else until it is unlocked.
  const auto armed = [&] { return host.state().timerArmed; };
  const auto awaitsPin = [&] { return host.flags().locked && !armed(); };
  if (runUntil([&] { return host.info().chainComplete || armed() || awaitsPin(); }, timeout_)) {
    if (awaitsPin()) {
      error = "the recorder " + host.info().deviceName + " on " + linkDescription_ +
              " is locked: unlock it first with recdesk-cli unlock PIN";
      return false;
    }
    if (!armed() || armedIsOk) return true;
    error = "the recorder's timer is armed: it waits to record by its timer programme and cannot be used "
            "until the timer is disarmed (recdesk-cli timer --disarm)";
    return false;
  }

  const auto secondsText = [&] {
    const double s = static_cast<double>(timeout_.count()) / 1000.0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", s);
    return std::string(buffer);
  }();
  if (!watch_.recorderMet && !host.info().presenceSeen)
    error = "no recorder answered on " + linkDescription_ + " within " + secondsText +
            " seconds (is it switched on and connected? --timeout S waits longer)";
  else if (!host.linkOpen())
    error = "the link to the recorder on " + linkDescription_ + " was lost before it completed its identification";
  else
    error = "the recorder on " + linkDescription_ + " answered but did not complete its identification within " +
            secondsText + " seconds";
  return false;
}

void CliSession::close() {
  if (closed_ || !host_) return;
  closed_ = true;
  host_->shutdown(true);
  // The reset line goes out paced; answers still under way are of no interest any more.
  loop_.runUntil([this] { return host_->shutdownComplete(); }, ports::Millis(2000));
}

}  // namespace recdesk::cli
