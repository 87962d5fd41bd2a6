#include "SimTransmitter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace recdesk::sim {

namespace {


std::string hz(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

bool wholeHz(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(value);
}

using Handler = void (*)(SimRecorder&, TransmitterState&, const std::vector<std::string>&);

void tx(SimRecorder& d, TransmitterState& s, const std::vector<std::string>& f) {
  if (f.size() >= 4) {  // "$T7,TX,ON,HI" / "$T7,TX,ON,LO"
    const std::string power = fieldAt(f, 3);
    if (fieldAt(f, 2) != "ON" || (power != "HI" && power != "LO")) {
      d.sendLine("$T7,NAK,TX");
      return;
    }
    s.on = true;
    s.highPower = power == "HI";
    ++s.commands;
  }
  d.sendLine(std::string("$T7,ACK,TX,") + (s.on ? "ON" : "OFF") + "," + (s.highPower ? "HI" : "LO"));
}

void scr(SimRecorder& d, TransmitterState& s, const std::vector<std::string>& f) {
  if (!s.scramblerSupported) {
    d.sendLine("$T7,NAK,SCR");
    return;
  }
  if (f.size() >= 3) {
    const std::string setting = fieldAt(f, 2);
    if (setting != "ON" && setting != "OFF") {
      d.sendLine("$T7,NAK,SCR");
      return;
    }
    s.scrambler = setting == "ON";
    ++s.commands;
  }
  d.sendLine(std::string("$T7,ACK,SCR,") + (s.scrambler ? "ON" : "OFF"));
}

void frq(SimRecorder& d, TransmitterState& s, const std::vector<std::string>& f) {
  if (f.size() >= 3) {
    double wanted = 0;
    if (!wholeHz(fieldAt(f, 2), wanted) || wanted < s.lowestHz || wanted > s.highestHz) {
      d.sendLine("$T7,NAK,FRQ," + fieldAt(f, 2));
      return;
    }
    s.frequencyHz = wanted;
    ++s.commands;
  }
  d.sendLine("$T7,ACK,FRQ," + hz(s.frequencyHz) + "," + hz(s.secondValue));
}

void range(SimRecorder& d, TransmitterState& s, const std::vector<std::string>&) {
  d.sendLine("$T7,ACK,RANGE," + hz(s.lowestHz) + "," + hz(s.highestHz));
}

}  // namespace

std::shared_ptr<TransmitterState> installTransmitter(SimRecorder& device, TransmitterState initial) {
  auto state = std::make_shared<TransmitterState>(initial);
  const auto add = [&](const char* word, Handler handler) {
    device.addCommand(word, [state, handler, word = std::string(word)](SimRecorder& d, const std::string&,
                                                                      const std::vector<std::string>& f) {
      if (d.config().model != Model::T7 || fieldAt(f, 0) != "$T7") {
        d.sendLine(fieldAt(f, 0) + ",NAK," + word);
        return;
      }
      handler(d, *state, f);
    });
  };
  add("TX", tx);
  add("SCR", scr);
  add("FRQ", frq);
  add("RANGE", range);
  return state;
}

int takeTransmitterOption(int argc, char** argv, int& i, TransmitterState& state, std::string& error) {
  const std::string arg = argv[i];
  if (arg == "--tx-no-scrambler") {
    state.scramblerSupported = false;
    return 1;
  }
  if (arg != "--tx-frequency" && arg != "--tx-range") return 0;
  if (i + 1 >= argc) {
    error = arg + " needs a value";
    return -1;
  }
  const std::string value = argv[++i];
  if (arg == "--tx-frequency") {
    if (!wholeHz(value, state.frequencyHz) || state.frequencyHz <= 0) {
      error = "--tx-frequency takes a frequency in Hz";
      return -1;
    }
    return 1;
  }
  const auto colon = value.find(':');
  double low = 0, high = 0;
  if (colon == std::string::npos || !wholeHz(value.substr(0, colon), low) || !wholeHz(value.substr(colon + 1), high) ||
      low <= 0 || high < low) {
    error = "--tx-range takes LOW:HIGH in Hz, LOW not above HIGH";
    return -1;
  }
  state.lowestHz = low;
  state.highestHz = high;
  return 1;
}

const char* transmitterOptionsHelp() {
  return "transmitter (with --model T7):\n"
         "  --tx-frequency HZ      the carrier frequency at start (default 162475000)\n"
         "  --tx-range LOW:HIGH    the frequency range in Hz it reports and accepts (default 150000000:174000000)\n"
         "  --tx-no-scrambler      refuse the scrambler query and command\n";
}

}  // namespace recdesk::sim
