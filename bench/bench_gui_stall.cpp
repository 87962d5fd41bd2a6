// How long the GUI thread stalls while the real main window downloads from the simulated recorder
// at 3,000,000 bit/s (paced like a wire, 2 ms turnaround), converts each recording on its worker and
// then plays one. Two measures, per phase: a 1 ms precise timer that notes how late it fires (what
// the user would see as a frozen window), and the longest single event delivery (with the
// receiver's class and the event type, to find the cause). On a loaded machine the wall-clock
// figures include the time the thread waited for a processor; the thread's own processor time per
// delivery is what the program's code costs, so it is shown beside them, and so is the longest
// delivery in which the thread gave up the processor itself (waited for a lock, another thread or
// the disk), which no load explains. A measurement, not a test:
// it prints numbers and asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy bench_gui_stall [--seconds S] [--recordings N]
//                    (defaults: recordings of 60 s each, 3 of them; 6 s of playback)
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "DemoRecorder.h"
#include "Pacer.h"
#include "SimDownload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "lang/Strings.h"
#include "player/ConvertController.h"
#include "player/PlayerController.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

namespace {

using namespace recdesk;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::kBaud;
using bench::kTurnaround;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The calling thread's voluntary context switches (it waited for something).
long voluntarySwitches() {
  rusage u{};
  ::getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw;
}

// The calling thread's processor time.
Clock::duration threadCpu() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

struct Stalls {
  Clock::duration longestDelivery{};
  std::string longestWhat;
  Clock::duration longestGap{};  // the 1 ms timer's longest time between two ticks, less 1 ms
  Clock::duration longestCpu{};  // the most processor time one delivery took
  std::string longestCpuWhat;
  Clock::duration longestWaiting{};  // the longest delivery in which the thread waited of itself
  std::string longestWaitingWhat;
  std::uint64_t deliveries = 0;
  std::uint64_t ticks = 0;
  std::uint64_t gapsOver16 = 0;
};

// Times every event delivery on the GUI thread; only the outermost counts (a nested delivery is
// part of the one around it).
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  Stalls* stalls = nullptr;

  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_ > 0 || !stalls) return QApplication::notify(receiver, event);
    ++depth_;
    const int type = static_cast<int>(event->type());
    const auto start = Clock::now();
    const auto cpuStart = threadCpu();
    const long switches = voluntarySwitches();
    const bool result = QApplication::notify(receiver, event);
    const auto spent = Clock::now() - start;
    const auto cpu = threadCpu() - cpuStart;
    if (voluntarySwitches() != switches && spent > stalls->longestWaiting) {
      stalls->longestWaiting = spent;
      stalls->longestWaitingWhat = std::string(receiver->metaObject()->className()) + " event " + std::to_string(type);
    }
    --depth_;
    ++stalls->deliveries;
    if (cpu > stalls->longestCpu) {
      stalls->longestCpu = cpu;
      stalls->longestCpuWhat = std::string(receiver->metaObject()->className()) + " event " + std::to_string(type);
    }
    if (spent > stalls->longestDelivery) {
      stalls->longestDelivery = spent;
      stalls->longestWhat = std::string(receiver->metaObject()->className()) + " event " + std::to_string(type);
    }
    return result;
  }

 private:
  int depth_ = 0;
};

long argValue(int argc, char** argv, const char* name, long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  return fallback;
}

// Runs the GUI loop until `done` or `limitMs` pass.
bool runUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > limitMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

void report(const char* phase, const Stalls& s, Clock::duration wall) {
  std::printf("%-20s %5.1f s  timer lateness: longest %8.3f ms, %llu of %llu ticks over 16 ms\n"
              "%-28s longest delivery %8.3f ms wall (%s), %8.3f ms processor (%s)\n"
              "%-28s longest delivery that waited of itself %8.3f ms wall (%s)\n",
              phase, ms(wall) / 1000.0, ms(s.longestGap), static_cast<unsigned long long>(s.gapsOver16),
              static_cast<unsigned long long>(s.ticks), "", ms(s.longestDelivery),
              s.longestWhat.empty() ? "-" : s.longestWhat.c_str(), ms(s.longestCpu),
              s.longestCpuWhat.empty() ? "-" : s.longestCpuWhat.c_str(), "", ms(s.longestWaiting),
              s.longestWaitingWhat.empty() ? "-" : s.longestWaitingWhat.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  const double seconds = static_cast<double>(std::clamp(argValue(argc, argv, "--seconds", 60), 1L, 600L));
  const int recordings = static_cast<int>(std::clamp(argValue(argc, argv, "--recordings", 3), 1L, 10L));
  const fs::path dir = fs::temp_directory_path() / ("recdesk-bench-gui-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  if (!std::getenv("RECDESK_LANG_DIR")) ::setenv("RECDESK_LANG_DIR", RECDESK_SOURCE_LANG_DIR, 1);

  TimedApplication app(argc, argv);
  lang::strings().loadFile(fs::path(std::getenv("RECDESK_LANG_DIR")) / "english.lang");

  std::printf("GUI thread stalls: main window, simulated recorder at %u bit/s, %d recordings of about %.0f s\n",
              kBaud, recordings, seconds);
  const auto made = Clock::now();
  auto device = sim::makeDemoRecorder(sim::DeviceConfig{}, recordings, sim::DemoLength::fullOnes(seconds));
  std::printf("recordings made in %.0f ms\n", ms(Clock::now() - made));

  gui::GuiOptions options;
  options.demo = true;
  options.demoDevice = device;
  options.settingsFile = dir / "recdesk.ini";
  options.logFolder = dir / "log";
  auto session = std::make_unique<gui::GuiSession>(options);
  session->settings().baud = kBaud;
  session->settings().acceleration = 64;
  session->settings().autoDecrypt = true;
  bench::Pacer pacer(session->loop());
  sim::DownloadPacing pacing;
  pacing.bitsPerSecond = kBaud;
  pacing.turnaround = kTurnaround;
  pacing.schedule = [&pacer](std::chrono::nanoseconds d, std::function<void()> call) { pacer.schedule(d, std::move(call)); };
  pacing.now = [] { return Clock::now(); };
  sim::SimDownload::install(*device).setPacing(pacing);

  auto window = std::make_unique<gui::MainWindow>(*session);
  window->show();

  Stalls stalls;
  auto last = Clock::now();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    const auto late = now - last - std::chrono::milliseconds(1);
    last = now;
    ++stalls.ticks;
    if (late > stalls.longestGap) stalls.longestGap = late;
    if (late > std::chrono::milliseconds(16)) ++stalls.gapsOver16;
  });
  const auto phase = [&] {
    stalls = Stalls{};
    last = Clock::now();
    app.stalls = &stalls;
    return Clock::now();
  };
  tick.start();

  Stalls worst;
  const auto keepWorst = [&] {
    if (stalls.longestGap > worst.longestGap) worst.longestGap = stalls.longestGap;
    if (stalls.longestWaiting > worst.longestWaiting) {
      worst.longestWaiting = stalls.longestWaiting;
      worst.longestWaitingWhat = stalls.longestWaitingWhat;
    }
    if (stalls.longestCpu > worst.longestCpu) {
      worst.longestCpu = stalls.longestCpu;
      worst.longestCpuWhat = stalls.longestCpuWhat;
    }
    if (stalls.longestDelivery > worst.longestDelivery) {
      worst.longestDelivery = stalls.longestDelivery;
      worst.longestWhat = stalls.longestWhat;
    }
  };

  auto t0 = phase();
  session->start();
  auto& ops = session->operations();
  if (!runUntil([&] { return session->host().info().chainComplete && ops.list().size() == static_cast<std::size_t>(recordings); }, 60000)) {
    std::fprintf(stderr, "the simulated recorder did not connect\n");
    return 1;
  }
  report("connect + list", stalls, Clock::now() - t0);
  keepWorst();

  t0 = phase();
  for (std::size_t i = 0; i < ops.list().size(); ++i) ops.list().setSelected(i, true);
  // The user's actions run as the window's own events do, so that their time is measured too.
  const auto asUser = [&](std::function<void()> action) {
    QMetaObject::invokeMethod(window.get(), std::move(action), Qt::QueuedConnection);
  };
  asUser([&] { window->runCommand(gui::number(gui::Command::Download)); });
  runUntil([&] { return ops.download().running(); }, 5000);
  runUntil([&] { return !ops.download().running() && !window->converter()->busy(); }, 600000);
  const auto downloadWall = Clock::now() - t0;
  std::size_t completed = 0, converted = 0;
  for (const auto& o : ops.download().outcomes()) {
    completed += o.completed ? 1 : 0;
    converted += o.conversion && o.conversion->ok ? 1 : 0;
  }
  report("download + convert", stalls, downloadWall);
  keepWorst();

  // Selecting a downloaded recording loads it into the player; then it plays for a few seconds.
  t0 = phase();
  asUser([&] {
    window->recordingList()->clearSelection();
    window->recordingList()->setCurrentItem(window->recordingList()->topLevelItem(0));
  });
  const bool loaded = runUntil([&] { return window->player()->state().fileLoaded; }, 5000);
  asUser([&] { window->player()->play(); });
  runUntil([] { return false; }, 6000);
  asUser([&] { window->player()->stop(); });
  runUntil([] { return false; }, 200);
  report("select + play", stalls, Clock::now() - t0);
  keepWorst();

  std::printf("recordings downloaded %zu, converted %zu of %d; player loaded by the selection: %s\n", completed,
              converted, recordings, loaded ? "yes" : "no");
  std::printf("LONGEST GUI STALL: timer lateness %.3f ms, single delivery %.3f ms wall (%s), %.3f ms processor (%s), "
              "%.3f ms in a delivery that waited of itself (%s)\n",
              ms(worst.longestGap), ms(worst.longestDelivery), worst.longestWhat.c_str(), ms(worst.longestCpu),
              worst.longestCpuWhat.c_str(), ms(worst.longestWaiting), worst.longestWaitingWhat.c_str());

  app.stalls = nullptr;
  tick.stop();
  window.reset();
  session.reset();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return completed == static_cast<std::size_t>(recordings) ? 0 : 2;
}
