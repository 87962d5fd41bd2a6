#pragma once
// The demo's PIN response table: invented values, made up for the demo only, so that a locked
// simulated recorder can be unlocked without the maker's table. It is not the table of any real
// recorder and unlocks nothing but the simulator.
#include <string>

namespace recdesk::sim {

// The PIN the locked demo recorder starts with.
inline constexpr const char* kDemoPin = "1234";

// The table as file text ("C=dddddddddd" for every printable character), marked as the demo's own.
std::string demoPinTableText();

}  // namespace recdesk::sim
