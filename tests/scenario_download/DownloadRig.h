#pragma once
// The download scenarios' rig: the session host, the download and the simulated recorder on a
// simulated link, in virtual time.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DemoRecorder.h"
#include "SimDownload.h"
#include "SimLink.h"
#include "SimRecorder.h"
#include "TestSupport.h"
#include "app/Settings.h"
#include "operations/DownloadSession.h"
#include "ports/VirtualEventLoop.h"
#include "recording/RecordingWriter.h"
#include "session/Host.h"

namespace recdesk::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A recording of `pages` pages with a seeded payload (valid trailers and check bytes).
inline sim::Recording noiseRecording(std::uint16_t fileNumber, std::size_t pages, std::uint16_t serial) {
  sim::RecordingFormat format;
  format.fileNumber = fileNumber;
  format.serial = serial;
  return sim::noiseRecording(format, pages, fileNumber * 7919u);
}

struct Rig {
  explicit Rig(int port = 1, int demoRecordings = 0, std::uint64_t seed = 1) {
    test::loadEnglish();
    settings.port = static_cast<std::int16_t>(port);
    settings.baud = 3000000;
    settings.downloadFolder = (dir / "im2").string();
    settings.decryptFolder = (dir / "wav").string();
    settings.filePrefix = "TRIP";
    settings.autoDecrypt = false;
    fs::create_directories(dir / "im2");
    fs::create_directories(dir / "wav");
    sim::DeviceConfig config;
    config.seed = seed;
    device = sim::makeDemoRecorder(config, demoRecordings);
    wire = std::make_shared<sim::SimLink>(device);
    host = std::make_unique<session::Host>(loop, wire->channelFactory(), ui, settings);
    host->setLogSink([this](const std::string& text) { log += text; });
    ops = std::make_unique<operations::DownloadSession>(*host);
    installDownload();
  }
  ~Rig() {
    ops.reset();
    host.reset();
  }

  sim::SimDownload& installDownload() {
    download = &sim::SimDownload::install(*device);
    return *download;
  }
  // The recorder's answers leave at `bitsPerSecond` and reach the host in pieces of `pieceBytes`, a
  // partial piece `latency` after the wire fell quiet (0 bit/s: the wire takes no time).
  void pace(std::uint32_t bitsPerSecond, std::size_t pieceBytes, std::chrono::microseconds latency,
            std::chrono::microseconds turnaround = 200us) {
    sim::DownloadPacing pacing;
    pacing.bitsPerSecond = bitsPerSecond;
    pacing.pieceBytes = pieceBytes;
    pacing.latency = latency;
    pacing.turnaround = turnaround;
    pacing.schedule = [this](std::chrono::nanoseconds delay, std::function<void()> call) {
      loop.postAfter(delay, std::move(call));
    };
    pacing.now = [this] { return loop.now(); };
    download->setPacing(std::move(pacing));
  }
  bool connect() {
    host->connectAttempt();
    return loop.runUntil([this] { return host->info().chainComplete; }, 60s);
  }
  // Starts the download of the selected rows and runs it to its end.
  bool downloadSelected(ports::Millis limit = 3600s) {
    if (!ops->download().start(operations::DownloadOptions::fromSettings(settings))) return false;
    return loop.runUntil([this] { return !ops->download().running(); }, limit);
  }
  fs::path im2(std::uint16_t n) const { return dir / "im2" / ("TRIP." + device->deviceName() + "." + std::to_string(n) + ".im2"); }
  std::string expectedIm2(std::size_t index) const {
    const auto bytes = device->recordings()[index].im2();
    return std::string(bytes.begin(), bytes.end());
  }
  // The lines the host wrote (the block control bytes before a line taken off).
  std::vector<std::string> linesSent() const {
    std::vector<std::string> lines = wire->hostLines();
    for (auto& l : lines) {
      const auto dollar = l.find('$');
      if (dollar != std::string::npos) l.erase(0, dollar);
    }
    return lines;
  }

  test::TempDir dir;
  ports::VirtualEventLoop loop;
  test::FakeUi ui;
  app::Settings settings;
  std::shared_ptr<sim::SimRecorder> device;
  std::shared_ptr<sim::SimLink> wire;
  std::unique_ptr<session::Host> host;
  std::unique_ptr<operations::DownloadSession> ops;
  sim::SimDownload* download = nullptr;
  std::string log;
};

inline bool sent(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace recdesk::test
