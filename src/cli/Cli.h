#pragma once
// recdesk-cli: shared pieces of the command-line front end.
//
// Every command lives in its own cmd_<name>.cpp and registers itself with RECDESK_CLI_COMMAND.
// Global options (--settings, --device, --port, --baud, --demo, --log, --no-log, --timeout, --yes) are taken
// from anywhere on the command line; everything else goes to the command in `args`.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace recdesk::cli {

struct CliContext {
  std::string command;
  std::vector<std::string> args;  // the command's own arguments, in order
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::string> devicePath;
  std::optional<int> portCode;
  std::optional<std::uint32_t> baud;
  std::optional<std::filesystem::path> logFile;  // instead of the daily communications log
  bool noLog = false;                             // no communications log at all
  double timeoutSeconds = 20.0;
  bool demo = false;
  bool yes = false;  // answer every question with its affirmative answer
};

using CommandFn = int (*)(CliContext& context);

struct CommandInfo {
  const char* name;
  const char* usage;    // e.g. "convert IN.im2 OUT.wav [--cut-minutes M | --cut-mib S]"
  const char* summary;  // one line for --help
  CommandFn run;
};

bool registerCommand(const CommandInfo& info);
const std::vector<CommandInfo>& commands();

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job failed (a clear message was printed)
inline constexpr int kExitUsage = 2;    // the command line was wrong

// Reads an option given as "NAME VALUE" or "NAME=VALUE" at args[i] into `value` (advancing i past a
// separate value). False when args[i] is not that option; throws std::invalid_argument("NAME needs a
// value") when the value is missing.
bool optionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value);

// The version text of the program ("0.1.0, build 1").
std::string versionLine();

// Prints "recdesk-cli: <text>" to stderr; returns kExitFailure.
int fail(const std::string& text);
// Prints the usage error and the command's usage line; returns kExitUsage.
int usageError(const CliContext& context, const std::string& text);

}  // namespace recdesk::cli

#define RECDESK_CLI_CONCAT_INNER(a, b) a##b
#define RECDESK_CLI_CONCAT(a, b) RECDESK_CLI_CONCAT_INNER(a, b)
#define RECDESK_CLI_COMMAND(name, usage, summary, fn)                                             \
  [[maybe_unused]] static const bool RECDESK_CLI_CONCAT(recdeskCliRegistered_, __LINE__) =       \
      ::recdesk::cli::registerCommand({name, usage, summary, fn})
