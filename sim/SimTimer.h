#pragma once
// The simulated recorder's timer programme: a number of entry slots, each a start date, a start time
// and a duration, read with "$R5,TMR,PGM" (start, one message per slot, end), written one entry at a
// time with "$R5,TMR,PGM,<index>,<YYYYMMDD>,<HHMMSS>,<seconds>" (acknowledged with the same fields),
// and the timer armed with "$R5,TMR,ON" and disarmed with "$R5,TMR,OFF". While armed the recorder
// answers every other command with "$R5,TIMER" (the host's reset line still resets the link).
#include <cstdint>
#include <string>
#include <vector>

#include "SimRecorder.h"

namespace recdesk::sim {

struct SimTimerEntry {
  std::string date = "20000101";  // YYYYMMDD
  std::string time = "000000";    // HHMMSS
  unsigned long duration = 0;     // seconds
};

struct SimTimerOptions {
  // Entry slots the recorder reports (indices 0 to slots - 1). A real recorder has at most 19; more
  // serve to test a host that meets indices beyond its rows.
  int slots = 8;
  bool armed = false;
  std::vector<SimTimerEntry> entries;  // the programme at start, from index 0
};
inline constexpr int kMaxSimTimerSlots = 40;

class SimTimer {
 public:
  SimTimer(SimRecorder& device, SimTimerOptions options);
  // Gives `device` the timer ("TMR" and the armed state); installing again replaces the previous one.
  static SimTimer& install(SimRecorder& device, SimTimerOptions options = {});

  bool armed() const { return armed_; }
  void setArmed(bool armed) { armed_ = armed; }
  const std::vector<SimTimerEntry>& entries() const { return entries_; }
  std::vector<SimTimerEntry>& entries() { return entries_; }
  // Acknowledgements of written entries not sent (the next N), to test a host that waits for them.
  int dropAcksNext = 0;
  // Lines "$R5,TMR,PGM,<index>,…" heard, in order.
  std::vector<std::string> writes;

 private:
  void command(const std::vector<std::string>& fields);
  void sendProgramme();
  void writeEntry(const std::vector<std::string>& fields);

  SimRecorder& device_;
  std::vector<SimTimerEntry> entries_;
  bool armed_ = false;
};

// "YYYYMMDD,HHMMSS,SECONDS" (the --timer-entry option of recdesk-sim); false when it is not one.
bool parseSimTimerEntry(const std::string& text, SimTimerEntry& entry);

// recdesk-sim's timer options (--timer-slots N, --timer-armed, --timer-entry E): takes the option at
// argv[i] (and its value); returns 1 when taken, 0 when it is not a timer option, -1 with `error`.
int takeTimerOption(int argc, char** argv, int& i, SimTimerOptions& options, std::string& error);
// The help text of those options.
const char* timerOptionsHelp();

}  // namespace recdesk::sim
