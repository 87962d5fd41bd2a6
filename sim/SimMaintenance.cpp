#include "SimMaintenance.h"

#include <algorithm>
#include <cstdlib>

#include "DemoRecorder.h"
#include "session/Replies.h"

namespace recdesk::sim {

namespace {

using Command = SimRecorder::Command;
constexpr long kMostBadBlockLines = 64;


}  // namespace

SimMaintenance& SimMaintenance::install(SimRecorder& device, SimMaintenanceOptions options, Schedule schedule) {
  auto self = std::make_shared<SimMaintenance>(device, options, std::move(schedule));
  self->self_ = self;
  device.addCommand("FMT", [self](SimRecorder&, const std::string&, const std::vector<std::string>&) { self->format(); });
  device.addCommand("BAD", [self](SimRecorder&, const std::string&, const std::vector<std::string>&) { self->scan(); });
  device.addCommand("CHK", [self](SimRecorder&, const std::string&, const std::vector<std::string>&) { self->check(); });
  device.addCommand("REC", [self](SimRecorder&, const std::string&, const std::vector<std::string>& f) {
    self->record(fieldAt(f, 2) == "ON");
  });
  device.addCommand("LED", [self](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    const std::string mode = fieldAt(f, 2);
    if (mode != "1" && mode != "2" && mode != "3") {
      d.sendLine("$R5,NAK,LED," + mode);
      return;
    }
    self->led_ = mode[0] - '0';
    d.sendLine("$R5,ACK,LED," + mode);
  });
  return *self;
}

std::uint32_t SimMaintenance::totalBlocks() const {
  std::uint32_t blocks = 0;
  const auto& banks = device_.config().banks;
  for (std::size_t i = 0; i < banks.size() && i < 4; ++i) blocks += session::flashChip(banks[i].first, banks[i].second).blocks;
  return blocks == 0 ? 1024 : blocks;
}

long SimMaintenance::badBlockNumber(long index) const {
  // Spread over the flash, the same blocks every time.
  const long count = std::max<long>(device_.config().badBlocks, 1);
  return static_cast<long>((static_cast<std::uint64_t>(index) * 2 + 1) * totalBlocks() / (2 * static_cast<std::uint64_t>(count)));
}

void SimMaintenance::later(std::chrono::nanoseconds delay, std::string line, std::function<void()> then) {
  const std::uint64_t job = job_;
  auto send = [weak = self_, job, line = std::move(line), then = std::move(then)] {
    const auto self = weak.lock();
    if (!self || self->job_ != job) return;
    if (then) then();
    if (!line.empty()) self->device_.sendLine(line);
  };
  if (schedule_)
    schedule_(delay, std::move(send));
  else
    send();
}

void SimMaintenance::format() {
  if (busy_) {
    device_.sendLine("$R5,NAK,FMT,BUSY");
    return;
  }
  busy_ = true;
  ++job_;
  ++formats_;
  device_.sendLine("$R5,ACK,FMT,START");
  const long bad = device_.config().badBlocks;
  const auto time = options_.formatTime;
  const long lines = std::min(bad, kMostBadBlockLines);
  for (long i = 0; i < lines; ++i)
    later(time * (i + 1) / (lines + 1), "$R5,MSG,FMT,BAD," + std::to_string(badBlockNumber(i)));
  if (options_.neverEnd) return;
  later(time, "$R5,MSG,FMT,END," + std::to_string(bad), [this] {
    busy_ = false;
    device_.recordings().clear();
  });
}

void SimMaintenance::scan() {
  if (busy_) {
    device_.sendLine("$R5,NAK,BAD,BUSY");
    return;
  }
  busy_ = true;
  ++job_;
  device_.sendLine("$R5,ACK,BAD");
  const int steps = std::max(options_.progressSteps, 1);
  for (int s = 1; s < steps; ++s)
    later(options_.scanTime * s / steps, "$R5,MSG,BAD," + std::to_string(s * 100 / steps));
  later(options_.scanTime, "$R5,MSG,BAD,END," + std::to_string(device_.config().badBlocks), [this] { busy_ = false; });
}

void SimMaintenance::check() {
  if (busy_) {
    device_.sendLine("$R5,NAK,CHK,BUSY");
    return;
  }
  busy_ = true;
  ++job_;
  ++checks_;
  device_.sendLine("$R5,ACK,CHK,START");
  const std::uint32_t total = totalBlocks();
  const int passes = std::max(options_.checkPasses, 1);
  const int steps = std::max(options_.progressSteps, 1);
  const auto pass = options_.checkPassTime;
  for (int p = 1; p <= passes; ++p) {
    for (int s = 1; s <= steps; ++s) {
      const std::uint32_t position = static_cast<std::uint32_t>(static_cast<std::uint64_t>(total) * s / steps);
      const auto when = pass * (p - 1) + pass * s / (steps + 1);
      const std::string line =
          options_.shortPositions
              ? "$R5,MSG,CHK,POS," + std::to_string(static_cast<std::uint64_t>(total) * passes - (static_cast<std::uint64_t>(total) * (p - 1) + position))
              : "$R5,MSG,CHK,POS," + std::to_string(p) + "," + std::to_string(passes) + "," + std::to_string(position) +
                    "," + std::to_string(total);
      later(when, line);
    }
  }
  if (options_.neverEnd) return;
  later(pass * passes, "$R5,MSG,CHK,END," + std::to_string(device_.config().badBlocks), [this] {
    busy_ = false;
    device_.recordings().clear();
  });
}

void SimMaintenance::record(bool on) {
  if (on) {
    if (recording_ || busy_) {
      device_.sendLine("$R5,NAK,REC,ON");
      return;
    }
    recording_ = true;
    device_.sendLine("$R5,ACK,REC,ON");
    return;
  }
  const bool was = recording_;
  recording_ = false;
  device_.sendLine("$R5,ACK,REC,OFF");
  if (!was) return;
  // What was recorded is a new recording in the flash.
  addDemoRecordings(device_, 1, device_.config().seed + device_.recordings().size() * 7919u);
  device_.sendLine("$R5,MSG,REC,OFF");
}

int takeMaintenanceOption(int argc, char** argv, int& i, SimMaintenanceOptions& options, std::string& error) {
  const std::string arg = argv[i];
  if (arg == "--check-short") {
    options.shortPositions = true;
    return 1;
  }
  if (arg == "--maintenance-hangs") {
    options.neverEnd = true;
    return 1;
  }
  if (arg != "--format-seconds" && arg != "--check-seconds" && arg != "--check-passes" && arg != "--scan-seconds")
    return 0;
  if (i + 1 >= argc) {
    error = arg + " needs a value";
    return -1;
  }
  const std::string value = argv[++i];
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (value.empty() || !end || *end != '\0' || v < 0 || v > 86400 || (arg == "--check-passes" && (v < 1 || v > 100))) {
    error = arg + ": bad value '" + value + "' (see --help)";
    return -1;
  }
  const auto ms = std::chrono::milliseconds(static_cast<long long>(v * 1000.0));
  if (arg == "--format-seconds") options.formatTime = ms;
  if (arg == "--scan-seconds") options.scanTime = ms;
  if (arg == "--check-seconds") options.checkPassTime = ms;
  if (arg == "--check-passes") options.checkPasses = static_cast<int>(v);
  return 1;
}

const char* maintenanceOptionsHelp() {
  return "maintenance:\n"
         "  --format-seconds S     a format takes S seconds (default 3)\n"
         "  --scan-seconds S       a bad-block scan takes S seconds (default 2)\n"
         "  --check-seconds S      each pass of a flash check takes S seconds (default 4)\n"
         "  --check-passes N       passes of a flash check (default 2)\n"
         "  --check-short          the flash check reports only the blocks left\n"
         "  --maintenance-hangs    format and flash check never report their end\n";
}

}  // namespace recdesk::sim
