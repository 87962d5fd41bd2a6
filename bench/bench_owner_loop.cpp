// How long the owner thread is held at a time: the session host on the real event loop, with the
// in-process simulated recorder answering at 3,000,000 bit/s (10 bits per byte, 2 ms turnaround).
// The session first idles with its keep-alive pings, then downloads a few recordings (keep-alives
// between them), then idles again. Every task the loop runs on the owner thread (a timer tick, a
// posted call, a reader's hand-over) is timed; the longest single task is what a window would
// freeze for. It is a measurement, not a test: it prints numbers and asserts nothing.
//
//   bench_owner_loop [--idle-seconds S] [--recordings N] [--pages P]
//                    (defaults: 4 s idle before and after, 3 recordings of 600 pages)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DemoRecorder.h"
#include "Pacer.h"
#include "SimDownload.h"
#include "SimLink.h"
#include "SimRecorder.h"
#include "app/Settings.h"
#include "lang/Strings.h"
#include "operations/DownloadSession.h"
#include "ports/ThreadEventLoop.h"
#include "session/Host.h"

namespace {

using namespace recdesk;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::kBaud;
using bench::kTurnaround;

// What the owner thread spent per task, by kind, for the phase under way.
struct TaskStats {
  std::uint64_t count = 0;
  Clock::duration longest{};
  Clock::duration total{};
  std::string longestKind;
  void add(const char* kind, Clock::duration d) {
    ++count;
    total += d;
    if (d > longest) {
      longest = d;
      longestKind = kind;
    }
  }
};

// The real loop, with every task it runs on the owner thread timed. Only the outermost task counts:
// a call the owner makes to itself (invokeBlocking on the owner thread) is part of the task around it.
class TimedLoop : public ports::ThreadEventLoop {
 public:
  TaskStats* stats = nullptr;

  void setTimerHandler(std::function<void(int)> handler) override {
    if (!handler) {
      ThreadEventLoop::setTimerHandler({});
      return;
    }
    ThreadEventLoop::setTimerHandler([this, handler = std::move(handler)](int id) {
      timed("timer", [&] { handler(id); });
    });
  }
  void post(std::function<void()> call) override {
    if (!call) return;
    ThreadEventLoop::post([this, call = std::move(call)] { timed("posted call", call); });
  }
  void invokeBlocking(std::function<void()> call) override {
    if (!call) return;
    ThreadEventLoop::invokeBlocking([this, call = std::move(call)] { timed("hand-over", call); });
  }

 private:
  template <typename F>
  void timed(const char* kind, F&& f) {
    if (depth_ > 0 || !stats) {
      f();
      return;
    }
    ++depth_;
    const auto start = Clock::now();
    f();
    const auto spent = Clock::now() - start;
    --depth_;
    stats->add(kind, spent);
  }
  int depth_ = 0;  // owner thread only
};

using bench::Pacer;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void report(const char* phase, const TaskStats& s, Clock::duration wall) {
  std::printf("%-28s %8llu tasks  longest %8.3f ms (%s)  mean %7.3f ms  busy %5.1f%% of %.1f s\n", phase,
              static_cast<unsigned long long>(s.count), ms(s.longest), s.longestKind.empty() ? "-" : s.longestKind.c_str(),
              s.count ? ms(s.total) / static_cast<double>(s.count) : 0.0,
              wall.count() > 0 ? 100.0 * ms(s.total) / ms(wall) : 0.0, ms(wall) / 1000.0);
}

long argValue(int argc, char** argv, const char* name, long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const long idleSeconds = std::max(1L, argValue(argc, argv, "--idle-seconds", 4));
  const int recordings = static_cast<int>(std::clamp(argValue(argc, argv, "--recordings", 3), 1L, 20L));
  const auto pages = static_cast<std::size_t>(std::clamp(argValue(argc, argv, "--pages", 600), 16L, 100000L));

  const char* langDir = std::getenv("RECDESK_LANG_DIR");
  lang::strings().loadFile(fs::path(langDir ? langDir : RECDESK_SOURCE_LANG_DIR) / "english.lang");
  const fs::path dir = fs::temp_directory_path() / ("recdesk-bench-owner-" + std::to_string(::getpid()));
  fs::create_directories(dir);

  TimedLoop loop;
  ports::QuietUi ui;
  app::Settings settings;
  settings.port = 1000;  // the USB adapter: the link speed is agreed at 3,000,000 bit/s
  settings.baud = kBaud;
  settings.acceleration = 64;
  settings.autoDecrypt = false;
  settings.downloadFolder = dir.string();
  settings.filePrefix = "";
  auto device = std::make_shared<sim::SimRecorder>();
  for (int i = 0; i < recordings; ++i) {
    sim::RecordingFormat format;
    format.fileNumber = static_cast<std::uint16_t>(i + 1);
    device->recordings().push_back(sim::noiseRecording(format, pages, 1000u + static_cast<std::uint32_t>(i)));
  }
  auto wire = std::make_shared<sim::SimLink>(device);
  auto host = std::make_unique<session::Host>(loop, wire->channelFactory(), ui, settings);
  auto ops = std::make_unique<operations::DownloadSession>(*host);
  Pacer pacer(loop);
  sim::SimDownload& simDownload = sim::SimDownload::install(*device);
  sim::DownloadPacing pacing;
  pacing.bitsPerSecond = kBaud;
  pacing.turnaround = kTurnaround;
  pacing.schedule = [&pacer](std::chrono::nanoseconds d, std::function<void()> call) { pacer.schedule(d, std::move(call)); };
  pacing.now = [] { return Clock::now(); };
  simDownload.setPacing(pacing);

  std::printf("owner loop: simulated recorder at %u bit/s, %d recordings of %zu pages, %ld s idle\n", kBaud,
              recordings, pages, idleSeconds);

  TaskStats connect, idle, download, after;
  auto t0 = Clock::now();
  loop.stats = &connect;
  host->connectAttempt();
  if (!loop.runUntil([&] { return host->info().chainComplete; }, std::chrono::seconds(60))) {
    std::fprintf(stderr, "the simulated recorder did not connect\n");
    return 1;
  }
  report("connect + query chain", connect, Clock::now() - t0);

  t0 = Clock::now();
  loop.stats = &idle;
  loop.runUntil([] { return false; }, std::chrono::seconds(idleSeconds));
  report("keep-alive (idle)", idle, Clock::now() - t0);

  auto& dl = ops->download();
  for (std::size_t i = 0; i < ops->list().size(); ++i) ops->list().setSelected(i, true);
  t0 = Clock::now();
  loop.stats = &download;
  if (!dl.start(operations::DownloadOptions::fromSettings(settings))) {
    std::fprintf(stderr, "the download did not start\n");
    return 1;
  }
  loop.runUntil([&] { return !dl.running(); }, std::chrono::minutes(10));
  const auto downloadWall = Clock::now() - t0;
  std::size_t completed = 0;
  for (const auto& outcome : dl.outcomes()) completed += outcome.completed ? 1 : 0;
  report("download", download, downloadWall);

  t0 = Clock::now();
  loop.stats = &after;
  loop.runUntil([] { return false; }, std::chrono::seconds(idleSeconds));
  report("keep-alive (after download)", after, Clock::now() - t0);

  Clock::duration longest = std::max({connect.longest, idle.longest, download.longest, after.longest});
  std::printf("recordings completed: %zu of %d (%.0f kB/s)\n", completed, recordings,
              static_cast<double>(completed * pages * 528) / 1024.0 / std::chrono::duration<double>(downloadWall).count());
  std::printf("LONGEST SINGLE OWNER TASK: %.3f ms\n", ms(longest));

  loop.stats = nullptr;
  host->shutdown(false);
  loop.processEvents();
  ops.reset();
  host.reset();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return completed == static_cast<std::size_t>(recordings) ? 0 : 2;
}
