// Download throughput: the session host and the download against the in-process simulated recorder
// on the real event loop, the recorder pacing its answers at 3,000,000 bit/s (10 bits per byte)
// with a 2 ms turnaround. For "Acceleration" 8, 64 and 256 pages per block it reports the data
// phase's throughput as a share of the wire limit (300,000 bytes/s) and of the protocol's own limit
// at that block size, N*528 bytes per (N*528*10/baud + turnaround + one control byte), and the
// process CPU time per MB downloaded (host and simulator together: they share the process).
//
//   bench_download [--pages P]   (default 4000 pages, about 2.1 MB per run)
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "DemoRecorder.h"
#include "Pacer.h"
#include "SimDownload.h"
#include "SimLink.h"
#include "SimRecorder.h"
#include "app/Settings.h"
#include "lang/Strings.h"
#include "operations/DownloadSession.h"
#include "ports/ThreadEventLoop.h"
#include "recording/RecordingWriter.h"
#include "session/Host.h"

namespace {

using namespace recdesk;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::kBaud;
using bench::kTurnaround;
std::size_t gPages = 4000;

using bench::Pacer;

double processCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_Download(benchmark::State& state) {
  const auto acceleration = static_cast<std::uint16_t>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / ("recdesk-bench-download-" + std::to_string(::getpid()));
  fs::create_directories(dir);

  ports::ThreadEventLoop loop;
  ports::QuietUi ui;
  app::Settings settings;
  settings.port = 1000;  // the USB adapter: the link speed is agreed at 3,000,000 bit/s
  settings.baud = kBaud;
  settings.acceleration = acceleration;
  settings.autoDecrypt = false;
  settings.downloadFolder = dir.string();
  settings.filePrefix = "";
  auto device = std::make_shared<sim::SimRecorder>();
  sim::RecordingFormat format;
  format.fileNumber = 1;
  device->recordings().push_back(sim::noiseRecording(format, gPages, 12345));
  auto wire = std::make_shared<sim::SimLink>(device);
  session::Host host(loop, wire->channelFactory(), ui, settings);
  operations::DownloadSession ops(host);
  Pacer pacer(loop);
  sim::SimDownload& sim = sim::SimDownload::install(*device);
  sim::DownloadPacing pacing;
  pacing.bitsPerSecond = kBaud;
  pacing.turnaround = kTurnaround;
  pacing.schedule = [&pacer](std::chrono::nanoseconds d, std::function<void()> call) { pacer.schedule(d, std::move(call)); };
  pacing.now = [] { return Clock::now(); };
  sim.setPacing(pacing);

  host.connectAttempt();
  if (!loop.runUntil([&] { return host.info().chainComplete; }, std::chrono::seconds(60))) {
    state.SkipWithError("the simulated recorder did not connect");
    return;
  }

  auto& download = ops.download();
  double seconds = 0, cpu = 0;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    fs::remove(dir / "R5-12345.1.im2");
    fs::remove(dir / "R5-12345.1.txt");
    ops.list().setPagesOnDisk(0, 0);
    ops.list().setSelected(0, true);
    Clock::time_point dataStart{}, dataEnd{};
    double cpuStart = 0;
    bool started = false;
    if (!download.start(operations::DownloadOptions::fromSettings(settings))) {
      state.SkipWithError("the download did not start");
      return;
    }
    loop.runUntil(
        [&] {
          if (!started && download.phase() == 2 && host.inBlockMode()) {
            started = true;  // the data request is accepted: the data phase runs
            dataStart = Clock::now();
            cpuStart = processCpuSeconds();
          }
          if (started && dataEnd == Clock::time_point{} && download.pagesTransferred() >= gPages) {
            dataEnd = Clock::now();
            cpu += processCpuSeconds() - cpuStart;
          }
          return !download.running();
        },
        std::chrono::minutes(10));
    if (download.outcomes().empty() || !download.outcomes()[0].completed) {
      state.SkipWithError("the download did not complete");
      return;
    }
    const double s = std::chrono::duration<double>(dataEnd - dataStart).count();
    state.SetIterationTime(s);
    seconds += s;
    bytes += gPages * 528;
  }
  const double rate = static_cast<double>(bytes) / seconds;
  const double block = acceleration * 528.0;
  const double limit = block / (block * 10.0 / kBaud + std::chrono::duration<double>(kTurnaround).count() + 10.0 / kBaud);
  state.counters["bytes_per_s"] = rate;
  state.counters["wire_pct"] = rate / (kBaud / 10.0) * 100.0;
  state.counters["protocol_limit_pct"] = limit / (kBaud / 10.0) * 100.0;
  state.counters["achieved_of_limit_pct"] = rate / limit * 100.0;
  state.counters["cpu_ms_per_MB"] = cpu * 1000.0 / (static_cast<double>(bytes) / 1048576.0);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  host.shutdown(false);
  loop.processEvents();
  std::error_code ec;
  fs::remove_all(dir, ec);
}

BENCHMARK(BM_Download)->Arg(8)->Arg(64)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--pages") == 0) {
      gPages = static_cast<std::size_t>(std::max(64L, std::strtol(argv[i + 1], nullptr, 10)));
      std::memmove(argv + i, argv + i + 2, static_cast<std::size_t>(argc - i - 2) * sizeof(char*));
      argc -= 2;
      --i;
    }
  }
  const char* dir = std::getenv("RECDESK_LANG_DIR");
  recdesk::lang::strings().loadFile(fs::path(dir ? dir : RECDESK_SOURCE_LANG_DIR) / "english.lang");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
