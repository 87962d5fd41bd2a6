#pragma once
// The command line of recdesk-cli: parsing, help texts, usage lines and the bash completion, all built
// from the option definitions (the global ones and those each command registers).
#include <optional>
#include <string>

#include "Cli.h"

namespace recdesk::cli {

// Parses the arguments (without the program name) into `context`: the global options into its fields,
// the command's options and arguments into `context.values`. Empty when the command is to run; else the
// exit code, after printing what was asked (--help, --version, --completion) or the usage error.
// Without a command, --demo stands for "download --all".
std::optional<int> parseCommandLine(const std::vector<std::string>& args, CliContext& context);

// "download [--all] [--download-folder DIR] ... [NUMBER...]"
std::string usageLine(const CommandInfo& command);

// A bash completion script for every command, option and choice.
std::string bashCompletion();

}  // namespace recdesk::cli
