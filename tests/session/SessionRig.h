#pragma once
// A session host against the simulated recorder, in virtual time.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SimLink.h"
#include "SimRecorder.h"
#include "TestSupport.h"
#include "app/Settings.h"
#include "lang/Strings.h"
#include "ports/VirtualEventLoop.h"
#include "session/Host.h"

namespace recdesk::test {

// Language strings the scenario tests look for get recognisable texts ("<57801>").
inline void loadMarkedStrings() {
  loadEnglish();
  for (int id : {57762, 57790, 57791, 57792, 57801, 57802, 57803, 57707, 57998, 57866, 57902, 57905, 57921,
                 57922, 57923, 57924, 57930, 57933, 57793, 57794, 57795, 57796, 57797, 57799, 57800, 57949,
                 57950, 57948, 57991, 57804, 57807, 57808})
    lang::strings().set(id, "<" + std::to_string(id) + ">");
  lang::strings().set(135, "format %s?");
  lang::strings().set(136, "really format %s?");
}

// A transfer that only counts how often the session told it the link was lost.
struct LossCountingTransfer : session::BlockTransferHandler {
  void onBlockData() override {}
  void onBlockTimeout() override {}
  void onRequestTimeout() override {}
  void onConfirmationTimeout() override {}
  void onLinkLost() override { ++lost; }
  int lost = 0;
};

struct Rig : session::SessionObserver {
  explicit Rig(sim::DeviceConfig config = {}, int port = 1, std::uint32_t baud = 2000000, int recordings = 2) {
    loadMarkedStrings();
    settings.port = static_cast<std::int16_t>(port);
    settings.baud = baud;
    device = std::make_shared<sim::SimRecorder>(config);
    device->wallClock = [] { return std::time(nullptr); };
    for (int i = 0; i < recordings; ++i) {
      sim::Recording r;
      r.format.fileNumber = static_cast<std::uint16_t>(i + 1);
      r.format.serial = config.serial;
      r.pages.assign(528 * static_cast<std::size_t>(10 + i), 0);
      device->recordings().push_back(r);
    }
    wire = std::make_shared<sim::SimLink>(device);
    host = std::make_unique<session::Host>(loop, wire->channelFactory(), ui, settings);
    host->setLogSink([this](const std::string& text) { logs.push_back(text); });
    host->addObserver(this);
  }
  ~Rig() override { host->removeObserver(this); }

  bool connect(ports::Millis limit = ports::Millis(30000)) {
    host->connectAttempt();
    return loop.runUntil([this] { return host->info().chainComplete; }, limit);
  }

  // Runs the loop until every line asked for is out (lines go out paced, a byte every 15 ms).
  bool settle(ports::Millis limit = ports::Millis(5000)) {
    return loop.runUntil([this] { return !host->sending(); }, limit);
  }

  std::string logText() const {
    std::string all;
    for (const auto& l : logs) all += l;
    return all;
  }
  // Position of the first log entry containing `text` at or after `from`; -1 when none.
  long findLog(const std::string& text, std::size_t from = 0) const {
    for (std::size_t i = from; i < logs.size(); ++i)
      if (logs[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1;
  }
  std::size_t countLog(const std::string& text) const {
    return static_cast<std::size_t>(std::count_if(logs.begin(), logs.end(), [&](const std::string& l) {
      return l.find(text) != std::string::npos;
    }));
  }
  // The lines the host wrote, from wire-trace position `from` on.
  std::vector<std::string> linesSent(std::size_t from = 0) const {
    std::vector<std::string> lines;
    std::string current;
    const auto& trace = wire->trace();
    for (std::size_t i = from; i < trace.size(); ++i) {
      if (trace[i].kind != sim::WireEvent::HostWrite) continue;
      for (char c : trace[i].text) {
        current.push_back(c);
        if (c == '\n') {
          lines.push_back(current);
          current.clear();
        }
      }
    }
    return lines;
  }
  std::vector<std::uint32_t> hostSpeeds() const {
    std::vector<std::uint32_t> speeds;
    for (const auto& e : wire->trace())
      if (e.kind == sim::WireEvent::HostSpeed) speeds.push_back(e.speed);
    return speeds;
  }

  // SessionObserver
  void onDeviceKind(session::DeviceVariant variant, std::uint16_t subModel, bool menu) override {
    kinds.push_back({variant, subModel, menu});
  }
  void onClockDifference(const session::DateTime&, long long seconds) override { clockDifferences.push_back(seconds); }
  void onSessionReset() override { ++resets; }

  struct Kind {
    session::DeviceVariant variant;
    std::uint16_t subModel;
    bool menu;
  };

  ports::VirtualEventLoop loop;
  FakeUi ui;
  app::Settings settings;
  std::shared_ptr<sim::SimRecorder> device;
  std::shared_ptr<sim::SimLink> wire;
  std::unique_ptr<session::Host> host;
  std::vector<std::string> logs;
  std::vector<Kind> kinds;
  std::vector<long long> clockDifferences;
  int resets = 0;
};

// The lines sent, without the keep-alive pings between them.
inline std::vector<std::string> withoutPings(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.find("PING") == std::string::npos) out.push_back(l);
  return out;
}

}  // namespace recdesk::test
