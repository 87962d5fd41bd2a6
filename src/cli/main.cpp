// recdesk-cli: the RecDesk core driven from the command line.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Cli.h"
#include "CliRestrictions.h"
#include "CommandLine.h"
#include "lang/LanguageChoice.h"

namespace recdesk::cli {

std::vector<CommandInfo>& registry() {
  static std::vector<CommandInfo> all;
  return all;
}

bool registerCommand(const CommandInfo& info) {
  registry().push_back(info);
  return true;
}

const std::vector<CommandInfo>& commands() {
  return registry();
}

int fail(const std::string& text) {
  std::cerr << "recdesk-cli: " << text << "\n";
  return kExitFailure;
}

int usageError(const CliContext& context, const std::string& text) {
  std::cerr << "recdesk-cli: " << text << "\n";
  for (const auto& c : commands())
    if (context.command == c.name)
      std::cerr << "usage: recdesk-cli [options] " << usageLine(c) << "\n"
                << "(recdesk-cli " << c.name << " --help tells more)\n";
  return kExitUsage;
}

}  // namespace recdesk::cli

int main(int argc, char** argv) {
  using namespace recdesk::cli;
  std::setlocale(LC_ALL, "");
  CliContext context;
  if (const auto exitCode = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), context))
    return *exitCode;

  std::string message;
  std::vector<std::string> warnings;
  if (!recdesk::lang::loadProgramLanguage(argv[0], message, &warnings)) {
    std::cerr << message << "\n";
    return kExitFailure;
  }
  for (const auto& w : warnings) std::cerr << "recdesk-cli: warning: " << w << "\n";

  for (const auto& c : commands()) {
    if (context.command != c.name) continue;
    if (const auto refusal = restrictionRefusal(context)) return fail(*refusal);
    return c.run(context);
  }
  return usageError(context, "unknown command '" + context.command + "'");
}
