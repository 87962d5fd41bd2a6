#pragma once
// The simulated recorder's password and lock: "$R5,PWD,<old>,<new>" changes the password when the old
// one is right ("$R5,ACK,PWD,<new>", else "$R5,NAK,PWD"); a locked recorder answers every line but
// "$R5,PIN,<response>" with its prompt "$R5,PASSWORD,<name>,<challenge>" and unlocks ("$R5,ACK,PIN")
// when the response fits its PIN under the maker's table (the same file format the host reads).
#include <memory>
#include <optional>
#include <string>

#include "SimRecorder.h"
#include "operations/PinTable.h"

namespace recdesk::sim {

struct LockOptions {
  std::string password = "6284";             // the recorder's password (the factory default)
  bool refuseChanges = false;                 // every password change is refused
  std::optional<std::string> pin;             // set: the recorder starts locked with this PIN
  std::optional<operations::PinTable> table;  // the maker's table (a locked recorder needs it)
  std::string tableName;
};

struct LockState {
  LockOptions options;
  bool locked = false;
  std::string challenge;
  std::uint64_t prompts = 0;
  std::uint64_t refusedPins = 0;
  std::uint64_t changes = 0;
};

// Gives `device` the password and the lock; the returned state lives as long as the device's tables.
std::shared_ptr<LockState> installPassword(SimRecorder& device, LockOptions options);

// recdesk-sim's options of the password and the lock (see passwordOptionsHelp()): 1 taken, 0 not
// one of them, -1 a bad value (`error` says why).
int takePasswordOption(int argc, char** argv, int& i, LockOptions& options, std::string& error);
const char* passwordOptionsHelp();

}  // namespace recdesk::sim
