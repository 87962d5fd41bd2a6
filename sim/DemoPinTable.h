#pragma once
// The demo's PIN response table: invented values, made up for the demo only, so that a locked
// simulated recorder can be unlocked without the maker's table. It is not the table of any real
// recorder and unlocks nothing but the simulator.
#include <filesystem>
#include <string>

namespace recdesk::sim {

class SimRecorder;

// The PIN the locked demo recorder starts with.
inline constexpr const char* kDemoPin = "1234";

// The table as file text ("C=dddddddddd" for every printable character), marked as the demo's own.
std::string demoPinTableText();

// Where the demo keeps its table: "$XDG_CACHE_HOME/recdesk/demo/pin/demo-pin-table.txt" (the cache
// folder falls back to "~/.cache", then to the temporary folder).
std::filesystem::path demoPinTableFile();

// Writes the demo table to `file` (its folder is made) so that a front end can name it as its PIN
// table. False, with `error` saying why, when it cannot be written.
bool writeDemoPinTable(const std::filesystem::path& file, std::string& error);

// Locks `device` with `pin` under the demo table, which is written to `file` first. False (the
// device is left as it was) when the file cannot be written.
bool lockWithDemoPin(SimRecorder& device, const std::filesystem::path& file, std::string& error,
                     const std::string& pin = kDemoPin);

}  // namespace recdesk::sim
