// recdesk-cli: the RecDesk core driven from the command line.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

#include "Cli.h"
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

const std::vector<CommandInfo>& commands() { return registry(); }

bool optionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value) {
  const std::string& a = args[i];
  if (a == name) {
    if (i + 1 >= args.size()) throw std::invalid_argument(name + " needs a value");
    value = args[++i];
    return true;
  }
  if (a.rfind(name + "=", 0) == 0) {
    value = a.substr(name.size() + 1);
    return true;
  }
  return false;
}

int fail(const std::string& text) {
  std::cerr << "recdesk-cli: " << text << "\n";
  return kExitFailure;
}

int usageError(const CliContext& context, const std::string& text) {
  std::cerr << "recdesk-cli: " << text << "\n";
  for (const auto& c : commands())
    if (context.command == c.name) std::cerr << "usage: recdesk-cli [options] " << c.usage << "\n";
  return kExitUsage;
}

namespace {

void printHelp() {
  std::cout << "recdesk-cli - the RecDesk recorder host program for scripts and terminals\n\n"
               "usage: recdesk-cli [options] COMMAND [arguments]\n"
               "       recdesk-cli --demo            the main job against the built-in simulated recorder:\n"
               "                                     connect, list, download every recording and decode it\n\n"
               "options:\n"
               "  --settings FILE   settings file to use instead of the default one\n"
               "  --device PATH     serial device of the recorder (e.g. /dev/ttyUSB0)\n"
               "  --port CODE       port code: 1-999 serial, 1000+ FTDI adapter, 2000+ QuickUSB module\n"
               "  --baud N          link speed: 115200, 1000000, 2000000 or 3000000\n"
               "  --demo            use the built-in simulated recorder\n"
               "  --log FILE        write the communications log to FILE instead of the daily log in\n"
               "                    $XDG_STATE_HOME/recdesk/\n"
               "  --no-log          write no communications log\n"
               "  --timeout S       seconds to wait for the recorder (default 20)\n"
               "  --yes             answer every question with yes\n"
               "  --help, --version\n\ncommands:\n";
  std::map<std::string, const CommandInfo*> sorted;
  for (const auto& c : commands()) sorted[c.name] = &c;
  for (const auto& [name, c] : sorted) {
    std::cout << "  " << c->usage << "\n      " << c->summary << "\n";
  }
}

long parseInteger(const std::string& text, const std::string& option) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw std::invalid_argument(option + " takes a whole number, not '" + text + "'");
  return value;
}

}  // namespace

}  // namespace recdesk::cli

int main(int argc, char** argv) {
  using namespace recdesk::cli;
  std::setlocale(LC_ALL, "");
  CliContext context;
  bool help = false;
  bool version = false;
  try {
    const std::vector<std::string> all(argv + 1, argv + argc);
    for (std::size_t i = 0; i < all.size(); ++i) {
      const std::string& arg = all[i];
      std::string value;
      if (arg == "--help" || arg == "-h") {
        help = true;
      } else if (arg == "--version") {
        version = true;
      } else if (arg == "--demo") {
        context.demo = true;
      } else if (arg == "--no-log") {
        context.noLog = true;
      } else if (arg == "--yes" || arg == "-y") {
        context.yes = true;
      } else if (optionValue(all, i, "--settings", value)) {
        context.settingsFile = value;
      } else if (optionValue(all, i, "--device", value)) {
        context.devicePath = value;
      } else if (optionValue(all, i, "--port", value)) {
        context.portCode = static_cast<int>(parseInteger(value, "--port"));
      } else if (optionValue(all, i, "--baud", value)) {
        const long baud = parseInteger(value, "--baud");
        if (baud != 115200 && baud != 1000000 && baud != 2000000 && baud != 3000000)
          throw std::invalid_argument("--baud must be 115200, 1000000, 2000000 or 3000000");
        context.baud = static_cast<std::uint32_t>(baud);
      } else if (optionValue(all, i, "--log", value)) {
        context.logFile = value;
      } else if (optionValue(all, i, "--timeout", value)) {
        context.timeoutSeconds = static_cast<double>(parseInteger(value, "--timeout"));
        if (context.timeoutSeconds <= 0) throw std::invalid_argument("--timeout must be positive");
      } else if (context.command.empty() && !arg.empty() && arg[0] != '-') {
        context.command = arg;
      } else {
        context.args.push_back(arg);
      }
    }
    if (context.noLog && context.logFile) throw std::invalid_argument("give either --log FILE or --no-log");
  } catch (const std::invalid_argument& e) {
    std::cerr << "recdesk-cli: " << e.what() << "\n";
    return kExitUsage;
  }

  if (version) {
    std::cout << "recdesk-cli " << versionLine() << "\n";
    return kExitOk;
  }
  if (help) {
    printHelp();
    return kExitOk;
  }

  std::string message;
  std::vector<std::string> warnings;
  if (!recdesk::lang::loadProgramLanguage(argv[0], message, &warnings)) {
    std::cerr << message << "\n";
    return kExitFailure;
  }
  for (const auto& w : warnings) std::cerr << "recdesk-cli: warning: " << w << "\n";

  if (context.command.empty()) {
    if (!context.demo) {
      printHelp();
      return kExitUsage;
    }
    // The main job against the built-in simulated recorder: connect, list, download and decode.
    context.command = "download";
    context.args.insert(context.args.begin(), "--all");
  }
  for (const auto& c : commands()) {
    if (context.command == c.name) return c.run(context);
  }
  std::cerr << "recdesk-cli: unknown command '" << context.command << "' (see --help)\n";
  return kExitUsage;
}
