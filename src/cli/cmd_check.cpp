// recdesk-cli check: the recorder's flash check (it erases the flash) after asking (again when
// recordings are not all on disk; --yes agrees), with its passes and progress.
#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runCheck(CliContext& context) {
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  if (const std::string why = whyNotNow(ms->session()); !why.empty()) return fail(why);
  if (!ms->maintenance().checkFlash()) return fail("the flash check was not confirmed: nothing was erased");
  return waitForMaintenance(*ms, operations::MaintenanceJob::Check,
                            std::chrono::minutes(context.number("--wait").value_or(600)));
}

}  // namespace

RECDESK_CLI_COMMAND("check", "run the recorder's flash check; it erases every recording (asks first; --yes agrees)",
                    runCheck, waitOption());

}  // namespace recdesk::cli
