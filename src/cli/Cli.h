#pragma once
// recdesk-cli: shared pieces of the command-line front end.
//
// Every command lives in its own cmd_<name>.cpp and registers itself with RECDESK_CLI_COMMAND, naming its
// options and arguments as plain data (OptionDef). CommandLine.cpp builds the parser, the help texts and
// the bash completion from those definitions. Global options (--settings, --device, --port, --baud,
// --demo, --log, --no-log, --timeout, --yes) are taken before or after the command.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace recdesk::cli {

// What an option or argument takes. The parser checks the value before any command runs.
enum class ValueKind {
  Flag,     // no value
  Text,     // any text
  File,     // a file name (completed as a file)
  Folder,   // a folder name (completed as a folder)
  Integer,  // a whole number from `min` to `max`
  Choice,   // one of `choices`
};

struct OptionDef {
  std::string names;  // "--mode,-m" for an option; a name without dashes ("IN.wav") for an argument
  ValueKind kind = ValueKind::Flag;
  std::string valueName;  // shown in the help ("N", "DIR"); arguments show their name
  std::string help;
  long long min = 0, max = 0;        // Integer
  std::vector<std::string> choices;  // Choice
  bool required = false;             // arguments: must be given
  bool repeated = false;             // arguments: any number of them
};

// Builders for the definitions.
OptionDef flag(std::string names, std::string help);
OptionDef text(std::string names, std::string valueName, std::string help);
OptionDef file(std::string names, std::string valueName, std::string help);
OptionDef folder(std::string names, std::string valueName, std::string help);
OptionDef integer(std::string names, std::string valueName, long long min, long long max, std::string help);
OptionDef choice(std::string names, std::vector<std::string> choices, std::string help);
// A positional argument; `def` is one of the above with a name without dashes.
OptionDef argument(OptionDef def, bool required, bool repeated = false);

struct CliContext {
  std::string command;
  // The command's options and arguments as given, by the first name of their definition ("--mode",
  // "IN.wav"); flags hold an empty string. Values have passed their definition's checks.
  std::map<std::string, std::vector<std::string>> values;
  std::optional<std::filesystem::path> settingsFile;
  std::optional<std::string> devicePath;
  std::optional<int> portCode;
  std::optional<std::uint32_t> baud;
  std::optional<std::filesystem::path> logFile;  // instead of the daily communications log
  bool noLog = false;                            // no communications log at all
  double timeoutSeconds = 20.0;
  bool demo = false;
  // The demo's simulated device: its model, its clock 2 minutes off, its timer armed, locked (each implies --demo).
  std::string demoModel;
  bool demoClockOff = false;
  bool demoTimerArmed = false;
  bool demoLocked = false;  // locked with the demo PIN (sim::kDemoPin) under the demo's invented table
  bool yes = false;  // answer every question with its affirmative answer

  bool given(const std::string& name) const { return values.count(name) != 0; }
  // The (last) value of an option, if given.
  std::optional<std::string> value(const std::string& name) const;
  // An Integer option's value, if given.
  std::optional<long long> number(const std::string& name) const;
  // Every value of a repeated argument, in order.
  std::vector<std::string> all(const std::string& name) const;
};

using CommandFn = int (*)(CliContext& context);

struct CommandInfo {
  const char* name;
  const char* summary;  // one line for --help
  std::vector<OptionDef> options;
  CommandFn run;
};

bool registerCommand(const CommandInfo& info);
const std::vector<CommandInfo>& commands();

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job failed (a clear message was printed)
inline constexpr int kExitUsage = 2;    // the command line was wrong

// The version text of the program ("0.1.0, build 1").
std::string versionLine();

// Prints "recdesk-cli: <text>" to stderr; returns kExitFailure.
int fail(const std::string& text);
// Prints the usage error and the command's usage line; returns kExitUsage.
int usageError(const CliContext& context, const std::string& text);

}  // namespace recdesk::cli

#define RECDESK_CLI_CONCAT_INNER(a, b) a##b
#define RECDESK_CLI_CONCAT(a, b) RECDESK_CLI_CONCAT_INNER(a, b)
// RECDESK_CLI_COMMAND("name", "summary", runFn, option definitions...)
#define RECDESK_CLI_COMMAND(name, summary, fn, ...)                                        \
  [[maybe_unused]] static const bool RECDESK_CLI_CONCAT(recdeskCliRegistered_, __COUNTER__) = \
      ::recdesk::cli::registerCommand({name, summary, {__VA_ARGS__}, fn})
