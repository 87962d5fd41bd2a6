// recdesk-cli led 1|2|3: sets the recorder's LED mode.
#include <cstdio>

#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runLed(CliContext& context) {
  const int mode = static_cast<int>(context.number("MODE").value_or(0));
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  CliSession& session = ms->session();
  if (const std::string why = whyNotNow(session); !why.empty()) return fail(why);
  if (!ms->maintenance().setLed(mode)) return fail("the LED command could not be sent");
  if (!session.runUntil([&] { return ms->watch.led.has_value(); }, session.timeout()))
    return fail("the recorder did not acknowledge the LED mode");
  std::printf("LED mode %d set.\n", *ms->watch.led);
  return *ms->watch.led == mode ? kExitOk : fail("the recorder set LED mode " + std::to_string(*ms->watch.led));
}

}  // namespace

RECDESK_CLI_COMMAND("led", "set the recorder's LED mode", runLed,
                    argument(integer("MODE", "", 1, 3, "the LED mode: 1, 2 or 3"), true));

}  // namespace recdesk::cli
