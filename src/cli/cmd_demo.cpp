// The main job against the built-in simulated recorder.
#include <iostream>

#include "Cli.h"
#include "lang/Strings.h"

namespace recdesk::cli {
namespace {

int runDemo(CliContext& /*context*/) {
  std::cout << lang::text(146) << " " << versionLine() << ": demo\n";
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("demo", "demo", "the main job against the built-in simulated recorder (same as --demo)",
                    runDemo);

}  // namespace recdesk::cli
