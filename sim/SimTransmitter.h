#pragma once
// The simulated T7 transmitter's settings: power ("$T7,TX"), carrier frequency ("$T7,FRQ"), scrambler
// ("$T7,SCR") and the frequency range ("$T7,RANGE"), queried and set the way the host does.
#include <memory>
#include <string>

#include "SimRecorder.h"

namespace recdesk::sim {

struct TransmitterState {
  bool on = true;
  bool highPower = true;
  bool scrambler = false;
  bool scramblerSupported = true;  // false: the scrambler query and command are refused
  double frequencyHz = 162475000;
  double secondValue = 12500;      // the frequency reply's second number
  double lowestHz = 150000000;
  double highestHz = 174000000;
  std::uint64_t commands = 0;      // settings changed (for tests)
};

// Gives `device` the transmitter's lines (a device that is not a T7 refuses them); the state lives as
// long as the device's command table.
std::shared_ptr<TransmitterState> installTransmitter(SimRecorder& device, TransmitterState initial = {});

// recdesk-sim's transmitter options: 1 taken, 0 not one of them, -1 a bad value (`error` says why).
int takeTransmitterOption(int argc, char** argv, int& i, TransmitterState& state, std::string& error);
const char* transmitterOptionsHelp();

}  // namespace recdesk::sim
