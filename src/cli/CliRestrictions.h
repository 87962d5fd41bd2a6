#pragma once
// The access restrictions on the command line: a command that the restrictions lock refuses to run,
// naming the restriction. Checked in one place, before any command starts.
#include <cstdint>
#include <optional>
#include <string>

#include "Cli.h"

namespace recdesk::cli {

// The restriction bit that guards the command as given (0 when none does): download 128; options
// with a change 1; profiles add/remove 2, apply 32.
std::uint32_t restrictionOf(const CliContext& context);

// Why the command may not run (restrictions active and its bit set in the settings file); nothing
// when it may.
std::optional<std::string> restrictionRefusal(const CliContext& context);

}  // namespace recdesk::cli
