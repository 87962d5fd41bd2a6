#include "SimRecorder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace recdesk::sim {

namespace {

constexpr std::size_t kMaxInputLine = 1024;
constexpr std::size_t kMaxHeard = 100000;

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}


long long number(const std::string& text) {
  long long v = 0;
  std::size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (v < 1000000000000LL) v = v * 10 + (text[i] - '0');
  }
  return i == 0 ? -1 : v;
}

std::string stamp(const char* format, std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, format, &tm);
  return buffer;
}

}  // namespace

std::optional<Model> parseModel(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "R5") return Model::R5;
  if (upper == "R5U") return Model::R5U;
  if (upper == "R6") return Model::R6;
  if (upper == "T7") return Model::T7;
  return std::nullopt;
}

const char* modelName(Model model) {
  switch (model) {
    case Model::R5: return "R5";
    case Model::R5U: return "R5U";
    case Model::R6: return "R6";
    case Model::T7: return "T7";
  }
  return "R5";
}

bool isRecorderSpeed(long long speed) {
  return speed == 115200 || speed == 1000000 || speed == 1500000 || speed == 2000000 || speed == 3000000;
}

SimRecorder::SimRecorder(DeviceConfig config) : config_(std::move(config)), random_(config_.seed) {
  installCommands();
}

std::string SimRecorder::deviceName() const {
  const int family = config_.model == Model::R6 ? audio::kFamilyR6
                     : config_.model == Model::T7 ? audio::kFamilyT7
                                                  : audio::kFamilyR5;
  return audio::deviceNameFor(family, config_.serial);
}

std::string SimRecorder::versionText() const {
  if (!config_.version.empty()) return config_.version;
  switch (config_.model) {
    case Model::R5: return "R5 1.2.0f,HW 3,2006-05-12";
    case Model::R5U: return "R5 0.5.0a,HW 2U,2005-11-02";
    case Model::R6: return "R6 0.021,HW 6,2007-02-20";
    case Model::T7: return "T7 1.04,TX 2,2006-09-01";
  }
  return {};
}

std::time_t SimRecorder::clockNow() const {
  return wallClock() + static_cast<std::time_t>(config_.clockOffsetSeconds);
}

std::uint64_t SimRecorder::totalPages() const {
  std::uint64_t megabytes = 0;
  for (std::size_t i = 0; i < config_.banks.size() && i < 4; ++i) {
    const auto [device, maker] = config_.banks[i];
    // The same chip table the host knows (a few common parts are enough here).
    if (maker == 0xEC) {
      switch (device) {
        case 0xD5: megabytes += 2048; break;
        case 0xD3: megabytes += 1024; break;
        case 0xDC: megabytes += 512; break;
        case 0xDA: case 0x71: megabytes += 256; break;
        case 0xF1: case 0x79: megabytes += 128; break;
        case 0x76: megabytes += 64; break;
        default: break;
      }
    } else if (maker == 0x98) {
      megabytes += device == 0x79 ? 128 : device == 0x76 ? 64 : 0;
    }
  }
  return megabytes * 1024 * 1024 / 512;
}

std::uint64_t SimRecorder::freePages() const {
  std::uint64_t used = 0;
  for (const auto& r : recordings_) used += r.pageCount();
  const std::uint64_t total = totalPages();
  return used >= total ? 0 : total - used;
}

void SimRecorder::receive(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    if (interceptor_ && interceptor_(b)) continue;
    if (b == '\n') {
      std::string line = std::move(input_);
      input_.clear();
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      const auto first = line.find('$');
      if (first == std::string::npos) continue;  // an empty line or noise
      handleLine(line.substr(first));
    } else if (input_.size() < kMaxInputLine) {
      input_.push_back(static_cast<char>(b));
    }
  }
}

void SimRecorder::sendLine(const std::string& line) { sendBytes(frameLine(line)); }

std::string SimRecorder::frameLine(const std::string& line) {
  if (faults_.silent) return {};
  std::string text = line;
  bool garble = false;
  if (faults_.garbleNext > 0) {
    --faults_.garbleNext;
    garble = true;
  } else if (faults_.garbleProbability > 0) {
    garble = std::uniform_real_distribution<double>(0, 1)(random_) < faults_.garbleProbability;
  }
  if (garble && !text.empty()) {
    // A few characters turn into noise, the way a disturbed line arrives.
    const int hits = 1 + static_cast<int>(random_() % 3);
    for (int i = 0; i < hits; ++i) {
      const std::size_t pos = static_cast<std::size_t>(random_() % text.size());
      char c = static_cast<char>(0x21 + random_() % 0x5E);
      if (c == '$') c = '#';
      text[pos] = c;
    }
  }
  return text + "\r\n";
}

void SimRecorder::sendBytes(std::string_view bytes) {
  if (output_ && !bytes.empty()) output_(bytes);
}

void SimRecorder::announceReady() {
  if (config_.model == Model::T7) {
    sendLine("$T7,READY," + std::string(config_.testMode ? "1" : "0"));
    return;
  }
  std::string line = "$R5,READY," + std::string(config_.testMode ? "1" : "0") + "," +
                     (faults_.flashError ? "0" : "1");
  if (config_.model == Model::R5U) line += ",R5U," + std::to_string(config_.subModel);
  sendLine(line);
}

void SimRecorder::powerCycle() {
  speed_ = kPowerOnSpeed;
  highSpeed_ = false;
  input_.clear();
}

void SimRecorder::handleLine(const std::string& line) {
  if (heard_.size() < kMaxHeard) heard_.push_back(line);
  const auto fields = splitFields(line);
  const std::string talker = fieldAt(fields, 0);
  if (talker != "$R5" && talker != "$T7") return;
  for (std::size_t i = 0; i < gates_.size(); ++i) {
    const LineGate gate = gates_[i];  // a gate may add another
    if (gate(*this, line, fields)) return;
  }
  const std::string word = fieldAt(fields, 1);
  const auto it = commands_.find(word);
  if (it == commands_.end()) {
    sendLine(talker + ",NAK," + word);
    return;
  }
  const Command command = it->second;
  command(*this, line, fields);
}

std::string SimRecorder::typeAnswer() const {
  if (config_.model == Model::R5U) return "$R5,ACK,TYP," + config_.profileName;
  return "$R5,ACK,TYP," + std::to_string(config_.sampleRate) + "," + std::to_string(config_.bits) + "," +
         std::to_string(config_.channels) + ",OFF," + std::to_string(config_.gain);
}

std::string SimRecorder::flashAnswer() const {
  std::string line = "$R5,ACK,FLASH";
  for (std::size_t i = 0; i < 4; ++i) {
    const auto bank = i < config_.banks.size() ? config_.banks[i] : std::pair<std::uint8_t, std::uint8_t>{0, 0};
    char text[32];
    std::snprintf(text, sizeof text, ",BANK %zu,%02X,%02X", i + 1, bank.first, bank.second);
    line += text;
  }
  return line;
}

void SimRecorder::sendList() {
  // An R5 names itself by its serial number alone; the host puts "R5-" in front.
  const std::string name = config_.model == Model::R5 ? deviceName().substr(3) : deviceName();
  sendLine("$R5,ACK,LST," + name + "," + std::to_string(recordings_.size()));
  for (const auto& r : recordings_) {
    char text[160];
    const auto& f = r.format;
    std::snprintf(text, sizeof text, "$R5,MSG,LST,%u,%u,%d,%d,0,%04d%02d%02d,%02d%02d%02d,%zu",
                  static_cast<unsigned>(f.fileNumber), static_cast<unsigned>(f.sampleRate), f.bits, f.channels,
                  f.start.year, f.start.month, f.start.day, f.start.hour, f.start.minute, f.start.second,
                  r.pageCount());
    sendLine(text);
  }
  sendLine("$R5,MSG,LST,END");
}

void SimRecorder::installCommands() {
  addCommand("PING", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    if (d.config_.model == Model::T7) {
      d.sendLine("$T7,READY," + std::string(d.config_.testMode ? "1" : "0"));
      return;
    }
    std::string line = "$R5,PONG," + std::string(d.config_.testMode ? "1" : "0") + "," +
                       (d.faults_.flashError ? "0" : "1");
    if (d.config_.model == Model::R5U) line += ",R5U," + std::to_string(d.config_.subModel);
    d.sendLine(line);
  });
  addCommand("HSP", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    d.highSpeed_ = fieldAt(f, 2) != "OFF";
  });
  addCommand("COM", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    const long long speed = number(fieldAt(f, 2));
    if (!isRecorderSpeed(speed)) {
      d.sendLine("$R5,NAK,COM," + fieldAt(f, 2));
      return;
    }
    // The confirmation goes out at the old speed; the recorder switches after it.
    d.sendLine("$R5,ACK,COM," + std::to_string(speed));
    d.speed_ = static_cast<std::uint32_t>(speed);
  });
  addCommand("VER", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine("$R5,ACK,VER," + d.versionText());
  });
  addCommand("LST", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) { d.sendList(); });
  addCommand("TYP", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    if (f.size() >= 7) {
      const long long rate = number(fieldAt(f, 2)), bits = number(fieldAt(f, 3)), channels = number(fieldAt(f, 4));
      if (rate > 0 && bits > 0 && channels > 0) {
        d.config_.sampleRate = static_cast<std::uint32_t>(rate);
        d.config_.bits = static_cast<std::uint32_t>(bits);
        d.config_.channels = static_cast<std::uint32_t>(channels);
        d.config_.gain = static_cast<int>(number(fieldAt(f, 6)) < 0 ? 0 : number(fieldAt(f, 6)));
      }
    } else if (f.size() == 3) {
      d.config_.profileName = fieldAt(f, 2);
    }
    d.sendLine(d.typeAnswer());
  });
  addCommand("FLASH", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine(d.flashAnswer());
  });
  addCommand("FREE", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine("$R5,ACK,FREE," + std::to_string(d.freePages()));
  });
  addCommand("TIME", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    if (f.size() >= 4) {
      // Setting the clock: "$R5,TIME,YYYYMMDD,HHMMSS".
      const std::string date = fieldAt(f, 2), time = fieldAt(f, 3);
      const long long ymd = date.size() == 8 ? number(date) : -1, hms = time.size() == 6 ? number(time) : -1;
      if (ymd >= 0 && hms >= 0) {
        std::tm tm{};
        tm.tm_year = static_cast<int>(ymd / 10000) - 1900;
        tm.tm_mon = static_cast<int>(ymd / 100 % 100) - 1;
        tm.tm_mday = static_cast<int>(ymd % 100);
        tm.tm_hour = static_cast<int>(hms / 10000);
        tm.tm_min = static_cast<int>(hms / 100 % 100);
        tm.tm_sec = static_cast<int>(hms % 100);
        tm.tm_isdst = -1;
        const std::time_t wanted = std::mktime(&tm);
        if (wanted != static_cast<std::time_t>(-1)) d.config_.clockOffsetSeconds = wanted - d.wallClock();
      }
    }
    const std::time_t now = d.clockNow();
    d.sendLine("$R5,ACK,TIME," + stamp("%Y%m%d", now) + "," + stamp("%H%M%S", now));
  });
  addCommand("REC", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    const bool on = fieldAt(f, 2) == "ON";
    const bool wasRecording = d.recording_;
    d.recording_ = on;
    d.sendLine(std::string("$R5,ACK,REC,") + (on ? "ON" : "OFF"));
    if (!on && wasRecording) d.sendLine("$R5,MSG,REC,OFF");
  });
  addCommand("FMT", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine("$R5,ACK,FMT,START");
    d.recordings_.clear();
    d.sendLine("$R5,MSG,FMT,END,0");
  });
  addCommand("BAD", [](SimRecorder& d, const std::string&, const std::vector<std::string>&) {
    d.sendLine("$R5,ACK,BAD");
    d.sendLine("$R5,MSG,BAD,END," + std::to_string(d.config_.badBlocks));
  });
  addCommand("LED", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    d.sendLine("$R5,ACK,LED," + fieldAt(f, 2));
  });
  addCommand("RB5RB5", [](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    const std::string what = fieldAt(f, 2);
    if (what == "RST") {
      d.powerCycle();
    } else if (what == "TST") {
      if (!d.config_.testMode) {
        d.sendLine("$R5,NAK,TST," + fieldAt(f, 3));
        return;
      }
      if (fieldAt(f, 3) == "OFF") d.config_.testMode = false;
      d.sendLine("$R5,ACK,TST," + fieldAt(f, 3));
    }
  });
}

}  // namespace recdesk::sim
