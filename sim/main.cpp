// recdesk-sim: a simulated recorder or transmitter on a pseudo-terminal. It prints the path of the
// terminal device on the first line of its output and then answers like the device on that path,
// until it is stopped (SIGINT/SIGTERM), its --exit-after time has passed or a --lose-link-after fault
// ends the link.
//
// A pseudo-terminal has no real line speed: the recorder's speed switch is answered but changes
// nothing on the wire (the in-process simulator models the speeds).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "DemoPinTable.h"
#include "DemoRecorder.h"
#include "SimDownload.h"
#include "SimMaintenance.h"
#include "SimPassword.h"
#include "SimRecorder.h"
#include "SimTimer.h"
#include "SimTransmitter.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

void printHelp() {
  std::cout << "recdesk-sim - a simulated recorder on a pseudo-terminal\n\n"
               "usage: recdesk-sim [options]\n\n"
               "Prints the terminal's device path on the first line, then serves it; point the host at it\n"
               "with  recdesk-cli --device PATH info\n\n"
               "device:\n"
               "  --model R5|R5U|R6|T7   the device (default R5; T7 is the transmitter)\n"
               "  --submodel N           sub-model number an R5U reports (default 3)\n"
               "  --serial N             serial number, 0-65535 (default 12345)\n"
               "  --recordings N         generated recordings in the flash (default 3)\n"
               "  --recording-seconds S  each recording about S seconds long (default 60, or the\n"
               "                         environment's RECDESK_DEMO_SECONDS); 0: short ones of 2-6 s\n"
               "  --seed N               varies the generated recordings and the faults (default 1)\n"
               "  --version TEXT         version text instead of the model's own\n"
               "  --clock-offset S       the recorder's clock runs S seconds ahead (negative: behind)\n"
               "  --test-mode            report the test mode in the presence answer\n"
               "  --bad-blocks N         bad blocks a bad-block scan (\"$R5,BAD\") reports (default 0)\n"
               "faults:\n"
               "  --silent               hear everything, answer nothing\n"
               "  --garble P             garble each answer line with probability P (0..1)\n"
               "  --flash-error          report a failed flash in the presence answer\n"
               "  --split N              write answers in pieces of N bytes, 2 ms apart\n"
               "  --lose-link-after N    hang up after hearing N lines (a lost link)\n"
            << recdesk::sim::downloadOptionsHelp() << recdesk::sim::timerOptionsHelp()
            << recdesk::sim::maintenanceOptionsHelp()
            << recdesk::sim::passwordOptionsHelp() << recdesk::sim::transmitterOptionsHelp()
            << "other:\n"
               "  --link PATH            also make PATH a symbolic link to the terminal device\n"
               "  --exit-after S         stop after S seconds\n"
               "  --help\n";
}

bool parseNumber(const std::string& text, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0' && !text.empty();
}

bool parseReal(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && !text.empty();
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace recdesk::sim;
  DeviceConfig config;
  DeviceFaults faults;
  int recordings = 3;
  DemoLength length = demoLengthForPeople();
  std::size_t split = 0;
  long long loseAfter = -1;
  double exitAfter = 0;
  std::string linkPath;
  SimDownloadOptions downloadOptions;
  SimTimerOptions timerOptions;
  SimMaintenanceOptions maintenanceOptions;
  LockOptions lockOptions;
  TransmitterState transmitterState;
  std::string optionError;

  // The options of the download and the timer: 1 taken, 0 not theirs, -1 wrong.
  const auto takeOption = [&](int& at) {
    const int taken = takeDownloadOption(argc, argv, at, downloadOptions, optionError);
    return taken != 0 ? taken : takeTimerOption(argc, argv, at, timerOptions, optionError);
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::cerr << "recdesk-sim: " << arg << " needs a value\n";
        std::exit(2);
      }
      out = argv[++i];
    };
    const auto number = [&](long long low, long long high) {
      std::string text;
      value(text);
      long long v = 0;
      if (!parseNumber(text, v) || v < low || v > high) {
        std::cerr << "recdesk-sim: " << arg << " takes a whole number from " << low << " to " << high << "\n";
        std::exit(2);
      }
      return v;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    } else if (arg == "--model") {
      value(text);
      const auto model = parseModel(text);
      if (!model) {
        std::cerr << "recdesk-sim: --model must be R5, R5U, R6 or T7\n";
        return 2;
      }
      config.model = *model;
    } else if (arg == "--submodel") {
      config.subModel = static_cast<std::uint16_t>(number(0, 65535));
    } else if (arg == "--serial") {
      config.serial = static_cast<std::uint16_t>(number(0, 65535));
    } else if (arg == "--recordings") {
      recordings = static_cast<int>(number(0, 500));
    } else if (arg == "--recording-seconds") {
      const auto seconds = number(0, 600);
      length = seconds == 0 ? DemoLength::shortOnes() : DemoLength::fullOnes(static_cast<double>(seconds));
    } else if (arg == "--seed") {
      config.seed = static_cast<std::uint64_t>(number(0, 1LL << 62));
    } else if (arg == "--version") {
      value(config.version);
    } else if (arg == "--clock-offset") {
      config.clockOffsetSeconds = number(-(1LL << 40), 1LL << 40);
    } else if (arg == "--bad-blocks") {
      config.badBlocks = static_cast<long>(number(0, 1 << 20));
    } else if (arg == "--test-mode") {
      config.testMode = true;
    } else if (arg == "--silent") {
      faults.silent = true;
    } else if (arg == "--garble") {
      value(text);
      if (!parseReal(text, faults.garbleProbability) || faults.garbleProbability < 0 || faults.garbleProbability > 1) {
        std::cerr << "recdesk-sim: --garble takes a probability from 0 to 1\n";
        return 2;
      }
    } else if (arg == "--flash-error") {
      faults.flashError = true;
    } else if (arg == "--split") {
      split = static_cast<std::size_t>(number(1, 1 << 20));
    } else if (arg == "--lose-link-after") {
      loseAfter = number(0, 1LL << 40);
    } else if (arg == "--link") {
      value(linkPath);
    } else if (arg == "--exit-after") {
      value(text);
      if (!parseReal(text, exitAfter) || exitAfter <= 0) {
        std::cerr << "recdesk-sim: --exit-after takes a positive number of seconds\n";
        return 2;
      }
    } else if (const int taken = takeOption(i); taken != 0) {
      if (taken < 0) {
        std::cerr << "recdesk-sim: " << optionError << "\n";
        return 2;
      }
    } else if (const int took = takeMaintenanceOption(argc, argv, i, maintenanceOptions, optionError); took != 0) {
      if (took < 0) {
        std::cerr << "recdesk-sim: " << optionError << "\n";
        return 2;
      }
    } else if (const int lockTaken = takePasswordOption(argc, argv, i, lockOptions, optionError); lockTaken != 0) {
      if (lockTaken < 0) {
        std::cerr << "recdesk-sim: " << optionError << "\n";
        return 2;
      }
    } else if (const int txTaken = takeTransmitterOption(argc, argv, i, transmitterState, optionError); txTaken != 0) {
      if (txTaken < 0) {
        std::cerr << "recdesk-sim: " << optionError << "\n";
        return 2;
      }
    } else {
      std::cerr << "recdesk-sim: unknown option '" << arg << "' (see --help)\n";
      return 2;
    }
  }

  if (lockOptions.pin && !lockOptions.table) {
    // Without the maker's table the lock checks responses with the demo's invented one, written
    // where the host can be pointed at it.
    const std::filesystem::path file = demoPinTableFile();
    if (!writeDemoPinTable(file, optionError) ||
        !(lockOptions.table = recdesk::operations::PinTable::parse(demoPinTableText(), file.string(), optionError))) {
      std::cerr << "recdesk-sim: " << optionError << "\n";
      return 1;
    }
    lockOptions.tableName = file.string();
    std::cerr << "recdesk-sim: locked; the PIN response is checked with the demo PIN table " << file.string()
              << " (recdesk-cli --device PATH unlock PIN --pin-table " << file.string() << ")\n";
  }

  // The pseudo-terminal: the host opens the slave side, we serve the master side.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    std::cerr << "recdesk-sim: cannot create a pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  const char* slaveName = ::ptsname(master);
  if (!slaveName) {
    std::cerr << "recdesk-sim: cannot name the pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  const std::string slavePath = slaveName;
  // Raw mode, and one slave descriptor kept open so that the master survives a host that closes and
  // opens the device again.
  const int keeper = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (keeper >= 0) {
    termios tio{};
    if (::tcgetattr(keeper, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::cfsetspeed(&tio, B115200);
      ::tcsetattr(keeper, TCSANOW, &tio);
    }
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  if (!linkPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
    std::filesystem::create_symlink(slavePath, linkPath, ec);
    if (ec) {
      std::cerr << "recdesk-sim: cannot make the link " << linkPath << ": " << ec.message() << "\n";
      return 1;
    }
  }

  struct sigaction action {};
  action.sa_handler = onSignal;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  auto device = makeDemoRecorder(config, recordings, length);
  device->faults() = faults;
  bool linkLost = false;
  device->setOutput([&](std::string_view bytes) {
    if (linkLost) return;
    if (split == 0) {
      writeAll(master, bytes.data(), bytes.size());
      return;
    }
    for (std::size_t at = 0; at < bytes.size(); at += split) {
      writeAll(master, bytes.data() + at, std::min(split, bytes.size() - at));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  SimTimer::install(*device, timerOptions);
  installPassword(*device, lockOptions);
  installTransmitter(*device, transmitterState);
  CallQueue pacedCalls;
  installDownload(*device, downloadOptions, pacedCalls, [&] {
    linkLost = true;
    std::cerr << "recdesk-sim: unplugged during the download\n";
  });
  SimMaintenance::install(*device, maintenanceOptions, [&pacedCalls](std::chrono::nanoseconds delay, std::function<void()> call) {
    pacedCalls.schedule(delay, std::move(call));
  });

  std::cout << slavePath << std::endl;
  std::cerr << "recdesk-sim: " << modelName(config.model) << " " << device->deviceName() << " with "
            << device->recordings().size() << " recording(s) on " << slavePath << "\n";

  const auto started = std::chrono::steady_clock::now();
  char buffer[4096];
  while (!stopRequested) {
    if (exitAfter > 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >= exitAfter)
      break;
    int waitMs = 100;
    if (const auto next = pacedCalls.runDue())
      waitMs = static_cast<int>(std::min<long long>(100, std::chrono::ceil<std::chrono::milliseconds>(*next).count()));
    pollfd p{master, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0 || !(p.revents & POLLIN)) continue;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // no host on the other side yet
      continue;
    }
    device->receive(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n));
    if (linkLost) break;  // unplugged by a download fault
    if (loseAfter >= 0 && static_cast<long long>(device->linesHeard().size()) >= loseAfter) {
      linkLost = true;
      std::cerr << "recdesk-sim: losing the link after " << device->linesHeard().size() << " line(s)\n";
      break;
    }
  }
  // The link goes first: once the terminal is closed the system may give its name to another one,
  // and a host that opens the link again must not reach that.
  if (!linkPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
  }
  if (keeper >= 0) ::close(keeper);
  ::close(master);
  return 0;
}
