#include "SimPassword.h"

#include <cstdio>

namespace recdesk::sim {

namespace {


bool fourDigits(const std::string& text) {
  if (text.size() != 4) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

void newChallenge(SimRecorder& device, LockState& state) {
  char text[8];
  std::snprintf(text, sizeof text, "%04u", static_cast<unsigned>(device.random()() % 10000));
  state.challenge = text;
}

void prompt(SimRecorder& device, LockState& state) {
  ++state.prompts;
  // An R5 names itself by its serial number alone, as in its list acknowledgement.
  const std::string name = device.config().model == Model::R5 ? device.deviceName().substr(3) : device.deviceName();
  device.sendLine("$R5,PASSWORD," + name + "," + state.challenge);
}

}  // namespace

std::shared_ptr<LockState> installPassword(SimRecorder& device, LockOptions options) {
  auto state = std::make_shared<LockState>();
  state->options = std::move(options);
  state->locked = state->options.pin.has_value();
  newChallenge(device, *state);
  device.addCommand("PWD", [state](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    const std::string oldPassword = fieldAt(f, 2), newPassword = fieldAt(f, 3);
    if (state->options.refuseChanges || oldPassword != state->options.password || !fourDigits(newPassword)) {
      d.sendLine("$R5,NAK,PWD");
      return;
    }
    state->options.password = newPassword;
    ++state->changes;
    d.sendLine("$R5,ACK,PWD," + newPassword);
  });
  device.addLineGate([state](SimRecorder& d, const std::string&, const std::vector<std::string>& f) {
    if (!state->locked) return false;
    if (fieldAt(f, 1) != "PIN") {
      prompt(d, *state);
      return true;
    }
    const auto& o = state->options;
    const auto expected = operations::pinResponse(o.table ? &*o.table : nullptr, o.tableName, d.deviceName(),
                                                  state->challenge, o.pin.value_or(""));
    if (expected.ok() && fieldAt(f, 2) == expected.digits) {
      state->locked = false;
      d.sendLine("$R5,ACK,PIN");
      return true;
    }
    ++state->refusedPins;
    newChallenge(d, *state);
    prompt(d, *state);
    return true;
  });
  return state;
}

int takePasswordOption(int argc, char** argv, int& i, LockOptions& options, std::string& error) {
  const std::string arg = argv[i];
  if (arg == "--refuse-password") {
    options.refuseChanges = true;
    return 1;
  }
  if (arg != "--password" && arg != "--locked" && arg != "--pin-table") return 0;
  if (i + 1 >= argc) {
    error = arg + " needs a value";
    return -1;
  }
  const std::string value = argv[++i];
  if (arg == "--pin-table") {
    options.table = operations::PinTable::load(value, error);
    options.tableName = value;
    // Without a language library the table's own sentence is empty.
    if (!options.table && error.empty()) error = "the PIN table " + value + " cannot be read or is not a table";
    return options.table ? 1 : -1;
  }
  if (!fourDigits(value)) {
    error = arg + " takes four digits";
    return -1;
  }
  if (arg == "--password")
    options.password = value;
  else
    options.pin = value;
  return 1;
}

const char* passwordOptionsHelp() {
  return "password and lock:\n"
         "  --password PWD         the recorder's password, four digits (default 6284, the factory one)\n"
         "  --refuse-password      refuse every password change\n"
         "  --locked PIN           start locked: prompt for the PIN (four digits) until it is answered\n"
         "  --pin-table FILE       the maker's PIN table the lock checks responses with (C=dddddddddd lines);\n"
         "                         without it the demo's invented table is used and its file named\n";
}

}  // namespace recdesk::sim
