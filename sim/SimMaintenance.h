#pragma once
// The simulated recorder's maintenance: format ("$R5,FMT"), bad-block scan ("$R5,BAD") and flash
// check ("$R5,CHK") running over time with progress lines and bad blocks, record on and off (a new
// recording appears when a recording ends), and the LED mode.
//
//   format: "$R5,ACK,FMT,START", "$R5,MSG,FMT,BAD,<block>" for each bad block met, then
//           "$R5,MSG,FMT,END,<bad blocks>" (the recordings are gone);
//   scan:   "$R5,ACK,BAD", "$R5,MSG,BAD,<percent>" now and then, "$R5,MSG,BAD,END,<bad blocks>";
//   check:  "$R5,ACK,CHK,START", per pass "$R5,MSG,CHK,POS,<pass>,<passes>,<block>,<blocks>" (or the
//           short shape "$R5,MSG,CHK,POS,<blocks left>"), then "$R5,MSG,CHK,END,<bad blocks>" (the
//           recordings are gone).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "SimRecorder.h"

namespace recdesk::sim {

struct SimMaintenanceOptions {
  std::chrono::milliseconds formatTime{3000};
  std::chrono::milliseconds scanTime{2000};
  std::chrono::milliseconds checkPassTime{4000};
  int checkPasses = 2;
  int progressSteps = 8;       // progress lines per pass (and per scan)
  bool shortPositions = false;  // the check reports only the blocks left
  bool neverEnd = false;        // format and check never send their "END" (a recorder that hangs)
};

class SimMaintenance {
 public:
  using Schedule = std::function<void(std::chrono::nanoseconds delay, std::function<void()> call)>;

  // Gives `device` the maintenance commands (replacing its plain ones). Progress lines go out through
  // `schedule` over time; without it every line goes out at once. The device owns the object.
  static SimMaintenance& install(SimRecorder& device, SimMaintenanceOptions options = {}, Schedule schedule = {});
  SimMaintenance(SimRecorder& device, SimMaintenanceOptions options, Schedule schedule)
      : device_(device), options_(options), schedule_(std::move(schedule)) {}

  SimMaintenanceOptions& options() { return options_; }
  bool busy() const { return busy_; }
  bool recording() const { return recording_; }
  std::optional<int> ledMode() const { return led_; }
  int formats() const { return formats_; }
  int checks() const { return checks_; }

 private:
  void format();
  void scan();
  void check();
  void record(bool on);
  // Sends `line` after `delay` (at once without a scheduler), unless the job was replaced since.
  void later(std::chrono::nanoseconds delay, std::string line, std::function<void()> then = {});
  std::uint32_t totalBlocks() const;
  long badBlockNumber(long index) const;

  SimRecorder& device_;
  SimMaintenanceOptions options_;
  Schedule schedule_;
  std::weak_ptr<SimMaintenance> self_;
  bool busy_ = false;
  bool recording_ = false;
  std::optional<int> led_;
  int formats_ = 0;
  int checks_ = 0;
  std::uint64_t job_ = 0;
};

// recdesk-sim's maintenance options: takes the option at argv[i] (and its value); 1 taken, 0 not a
// maintenance option, -1 a bad value (`error` says why).
int takeMaintenanceOption(int argc, char** argv, int& i, SimMaintenanceOptions& options, std::string& error);
const char* maintenanceOptionsHelp();

}  // namespace recdesk::sim
