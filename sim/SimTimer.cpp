#include "SimTimer.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace recdesk::sim {

namespace {

bool allDigits(const std::string& text, std::size_t count) {
  return text.size() == count &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool readDuration(const std::string& text, unsigned long& value) {
  if (text.empty() || text.size() > 9 || !allDigits(text, text.size())) return false;
  value = std::stoul(text);
  return true;
}


}  // namespace

bool parseSimTimerEntry(const std::string& text, SimTimerEntry& entry) {
  const auto first = text.find(',');
  const auto second = first == std::string::npos ? first : text.find(',', first + 1);
  if (second == std::string::npos) return false;
  SimTimerEntry e;
  e.date = text.substr(0, first);
  e.time = text.substr(first + 1, second - first - 1);
  if (!allDigits(e.date, 8) || !allDigits(e.time, 6) || !readDuration(text.substr(second + 1), e.duration))
    return false;
  entry = e;
  return true;
}

SimTimer::SimTimer(SimRecorder& device, SimTimerOptions options) : device_(device), armed_(options.armed) {
  const int slots = std::clamp(options.slots, 0, kMaxSimTimerSlots);
  entries_.resize(static_cast<std::size_t>(slots));
  for (std::size_t i = 0; i < options.entries.size() && i < entries_.size(); ++i) entries_[i] = options.entries[i];
}

SimTimer& SimTimer::install(SimRecorder& device, SimTimerOptions options) {
  auto self = std::make_shared<SimTimer>(device, std::move(options));
  device.addCommand("TMR", [self](SimRecorder&, const std::string&, const std::vector<std::string>& fields) {
    self->command(fields);
  });
  // An armed recorder is not available: it answers everything but its timer and the reset with
  // "$R5,TIMER".
  device.addLineGate([self](SimRecorder& d, const std::string&, const std::vector<std::string>& fields) {
    if (!self->armed_) return false;
    const std::string word = fieldAt(fields, 1);
    if (word == "TMR" || word == "RB5RB5" || word == "HSP") return false;
    d.sendLine("$R5,TIMER");
    return true;
  });
  return *self;
}

void SimTimer::command(const std::vector<std::string>& fields) {
  const std::string what = fieldAt(fields, 2);
  if (what == "ON") {
    armed_ = true;
    device_.sendLine("$R5,ACK,TMR,ON");
  } else if (what == "OFF") {
    armed_ = false;
    device_.sendLine("$R5,ACK,TMR,OFF");
  } else if (what == "PGM" && fields.size() == 3) {
    sendProgramme();
  } else if (what == "PGM") {
    writeEntry(fields);
  } else {
    device_.sendLine("$R5,NAK,TMR," + what);
  }
}

void SimTimer::sendProgramme() {
  device_.sendLine("$R5,ACK,TMR,PGM,START");
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const auto& e = entries_[i];
    device_.sendLine("$R5,MSG,TMR,PGM," + std::to_string(i) + "," + e.date + "," + e.time + "," +
                     std::to_string(e.duration));
  }
  device_.sendLine("$R5,MSG,TMR,PGM,END");
}

void SimTimer::writeEntry(const std::vector<std::string>& fields) {
  const std::string index = fieldAt(fields, 3);
  SimTimerEntry e;
  e.date = fieldAt(fields, 4);
  e.time = fieldAt(fields, 5);
  if (fields.size() != 7 || index.empty() || index.size() > 3 || !allDigits(index, index.size()) ||
      std::stoul(index) >= entries_.size() || !allDigits(e.date, 8) || !allDigits(e.time, 6) ||
      !readDuration(fieldAt(fields, 6), e.duration)) {
    device_.sendLine("$R5,NAK,TMR,PGM");
    return;
  }
  const std::size_t i = std::stoul(index);
  entries_[i] = e;
  std::string line = "$R5,TMR,PGM";
  for (std::size_t f = 3; f < fields.size(); ++f) line += "," + fields[f];
  writes.push_back(line);
  if (dropAcksNext > 0) {
    --dropAcksNext;
    return;
  }
  device_.sendLine("$R5,ACK,TMR,PGM," + std::to_string(i) + "," + e.date + "," + e.time + "," +
                   std::to_string(e.duration));
}

int takeTimerOption(int argc, char** argv, int& i, SimTimerOptions& options, std::string& error) {
  const std::string arg = argv[i];
  if (arg == "--timer-armed") {
    options.armed = true;
    return 1;
  }
  if (arg != "--timer-slots" && arg != "--timer-entry") return 0;
  if (i + 1 >= argc) {
    error = arg + " needs a value";
    return -1;
  }
  const std::string value = argv[++i];
  if (arg == "--timer-slots") {
    if (value.empty() || value.size() > 2 || !allDigits(value, value.size()) || std::stoi(value) > kMaxSimTimerSlots) {
      error = "--timer-slots takes a whole number from 0 to " + std::to_string(kMaxSimTimerSlots);
      return -1;
    }
    options.slots = std::stoi(value);
    return 1;
  }
  SimTimerEntry e;
  if (!parseSimTimerEntry(value, e)) {
    error = "--timer-entry takes YYYYMMDD,HHMMSS,SECONDS";
    return -1;
  }
  options.entries.push_back(e);
  return 1;
}

const char* timerOptionsHelp() {
  return "timer:\n"
         "  --timer-slots N        timer programme entries the recorder reports (default 8, up to 40)\n"
         "  --timer-entry E        a programme entry YYYYMMDD,HHMMSS,SECONDS (repeat for index 0, 1, ...)\n"
         "  --timer-armed          start with the timer armed (the recorder answers \"$R5,TIMER\")\n";
}

}  // namespace recdesk::sim
