#pragma once
// The maintenance scenarios' rig: the session host with the operations plugged in, the simulated
// recorder with its maintenance (over virtual time) and its block transfers, in virtual time.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DemoRecorder.h"
#include "SimDownload.h"
#include "SimLink.h"
#include "SimMaintenance.h"
#include "SimRecorder.h"
#include "TestSupport.h"
#include "app/Settings.h"
#include "operations/DownloadSession.h"
#include "ports/VirtualEventLoop.h"
#include "session/Host.h"

namespace recdesk::test {

using namespace std::chrono_literals;

struct Watch : operations::FrontEndObserver {
  std::vector<operations::MaintenanceProgress> progress;
  std::vector<int> leds;
  std::vector<std::pair<bool, bool>> records;
  std::vector<bool> testReplies;
  std::optional<operations::LevelPreviewResult> preview;
  std::vector<std::uint32_t> previewPages;
  void onMaintenanceProgress(const operations::MaintenanceProgress& p) override { progress.push_back(p); }
  void onLedMode(int mode) override { leds.push_back(mode); }
  void onRecordReply(bool accepted, bool on) override { records.emplace_back(accepted, on); }
  void onTestModeReply(bool accepted) override { testReplies.push_back(accepted); }
  void onPreviewProgress(std::uint32_t done, std::uint32_t) override { previewPages.push_back(done); }
  void onPreviewFinished(const operations::LevelPreviewResult& r) override { preview = r; }
};

struct MaintenanceRig {
  explicit MaintenanceRig(int demoRecordings = 2, sim::SimMaintenanceOptions options = {}) {
    loadEnglish();
    settings.port = 1;
    settings.baud = 115200;
    settings.acceleration = 8;
    sim::DeviceConfig config;
    config.badBlocks = 3;
    device = sim::makeDemoRecorder(config, demoRecordings);
    wire = std::make_shared<sim::SimLink>(device);
    host = std::make_unique<session::Host>(loop, wire->channelFactory(), ui, settings);
    host->setLogSink([this](const std::string& text) { log += text; });
    ops = std::make_unique<operations::DownloadSession>(*host);
    ops->setFrontEnd(&watch);
    download = &sim::SimDownload::install(*device);
    maintenance = &sim::SimMaintenance::install(*device, options, [this](std::chrono::nanoseconds d, std::function<void()> call) {
      loop.postAfter(d, std::move(call));
    });
  }
  ~MaintenanceRig() {
    ops.reset();
    host.reset();
  }
  bool connect() {
    host->connectAttempt();
    return loop.runUntil([this] { return host->info().chainComplete; }, 60s);
  }
  bool run(const std::function<bool()>& done, ports::Millis limit = 600s) { return loop.runUntil(done, limit); }
  std::vector<std::string> linesSent() const {
    std::vector<std::string> lines = wire->hostLines();
    for (auto& l : lines) {
      const auto dollar = l.find('$');
      if (dollar != std::string::npos) l.erase(0, dollar);
    }
    return lines;
  }
  bool sent(const std::string& line) const {
    const auto lines = linesSent();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::size_t count(const std::string& line) const {
    const auto lines = linesSent();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  operations::Maintenance& ops_maintenance() { return ops->maintenance(); }

  ports::VirtualEventLoop loop;
  FakeUi ui;
  app::Settings settings;
  std::shared_ptr<sim::SimRecorder> device;
  std::shared_ptr<sim::SimLink> wire;
  std::unique_ptr<session::Host> host;
  std::unique_ptr<operations::DownloadSession> ops;
  Watch watch;
  sim::SimDownload* download = nullptr;
  sim::SimMaintenance* maintenance = nullptr;
  std::string log;
};

}  // namespace recdesk::test
