// recdesk-cli testmode off: switches the recorder's test mode off.
#include <cstdio>

#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runTestMode(CliContext& context) {
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  CliSession& session = ms->session();
  if (const std::string why = whyNotNow(session); !why.empty()) return fail(why);
  session.ui().quiet = true;
  if (!ms->maintenance().testModeOff()) return fail("the test-mode command could not be sent");
  // Two lines go out; the second purges the link as it starts, so the answer to the first may be lost.
  auto& watch = ms->watch;
  if (!session.runUntil([&] { return watch.testReplies > 0; }, session.timeout()))
    return fail("the recorder did not answer the test-mode command");
  session.runUntil([&] { return watch.testRefused || watch.testReplies >= 2; }, std::chrono::milliseconds(1500));
  if (watch.testRefused) return fail("the recorder refused to switch its test mode off");
  std::printf("Test mode is off on %s.\n", session.host().info().deviceName.c_str());
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("testmode", "switch the recorder's test mode off", runTestMode,
                    argument(choice("WHAT", {"off"}, "off (the only choice)"), true));

}  // namespace recdesk::cli
