#pragma once
// The clock and timer scenarios' rig: the session host with the recorder clock and the timer
// programme, against the simulated recorder (with its timer) on a simulated link, in virtual time.
// This computer's clock and the recorder's are frozen unless a test moves them.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SimLink.h"
#include "SimRecorder.h"
#include "SimTimer.h"
#include "TestSupport.h"
#include "app/Settings.h"
#include "operations/RecorderClock.h"
#include "operations/TimerProgramme.h"
#include "ports/VirtualEventLoop.h"
#include "session/Host.h"

namespace recdesk::test {

using namespace std::chrono_literals;

// A scripted user interface that also notes which questions were withdrawn.
struct WithdrawingUi : FakeUi {
  void withdraw(ports::Topic topic) override { withdrawn.push_back(topic); }
  std::vector<ports::Topic> withdrawn;
};

struct ClockTimerRig : operations::ClockListener, operations::TimerProgrammeListener {
  // 2026-03-31 23:40:00 local time on this computer.
  static std::time_t computerTime() {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 2;
    tm.tm_mday = 31;
    tm.tm_hour = 23;
    tm.tm_min = 40;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
  }

  explicit ClockTimerRig(long long clockOffset = 0, sim::SimTimerOptions timer = {}) {
    loadEnglish();
    settings.port = 1;
    sim::DeviceConfig config;
    config.clockOffsetSeconds = clockOffset;
    device = std::make_shared<sim::SimRecorder>(config);
    wall = computerTime();
    device->wallClock = [this] { return wall; };
    simTimer = &sim::SimTimer::install(*device, std::move(timer));
    wire = std::make_shared<sim::SimLink>(device);
    host = std::make_unique<session::Host>(loop, wire->channelFactory(), ui, settings);
    host->setWallClock([this] { return wall; });
    host->setLogSink([this](const std::string& text) { log += text; });
    clock = std::make_unique<operations::RecorderClock>(*host, settings);
    clock->setListener(this);
    clock->setIgnoreRtcWriter([this](bool ignore) {
      stored.push_back(ignore);
      return true;
    });
    programme = std::make_unique<operations::TimerProgramme>(*host, *clock);
    programme->setListener(this);
  }
  ~ClockTimerRig() override {
    programme.reset();
    clock.reset();
    host.reset();
  }

  bool connect() {
    host->connectAttempt();
    return loop.runUntil([this] { return host->info().chainComplete || host->state().timerArmed; }, 30s);
  }
  // Reads the programme until the window opens with it.
  bool read() {
    programme->read();
    return loop.runUntil([this] { return programme->model().visible; }, 30s);
  }
  bool settle(ports::Millis limit = 10s) {
    return loop.runUntil([this] { return !host->sending(); }, limit);
  }
  std::vector<std::string> linesSent() const { return wire->hostLines(); }
  std::size_t countSent(const std::string& line) const {
    const auto lines = linesSent();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::size_t asked(ports::Topic topic) const {
    return static_cast<std::size_t>(std::count_if(ui.asked.begin(), ui.asked.end(),
                                                  [&](const ports::Question& q) { return q.topic == topic; }));
  }

  // ClockListener
  void onClockShown(const operations::ClockModel&) override { ++clockShown; }
  void onClockHidden() override { ++clockHidden; }
  // TimerProgrammeListener
  void onProgrammeWritten(bool ok) override { written.push_back(ok); }
  void onProgrammeClosed() override { ++programmeClosed; }
  void onQuitRequested() override { ++quitRequests; }

  std::time_t wall = 0;
  ports::VirtualEventLoop loop;
  WithdrawingUi ui;
  app::Settings settings;
  std::shared_ptr<sim::SimRecorder> device;
  sim::SimTimer* simTimer = nullptr;
  std::shared_ptr<sim::SimLink> wire;
  std::unique_ptr<session::Host> host;
  std::unique_ptr<operations::RecorderClock> clock;
  std::unique_ptr<operations::TimerProgramme> programme;
  std::string log;
  std::vector<bool> stored;
  std::vector<bool> written;
  int clockShown = 0, clockHidden = 0, programmeClosed = 0, quitRequests = 0;
};

}  // namespace recdesk::test
