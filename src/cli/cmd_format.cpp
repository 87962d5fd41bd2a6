// recdesk-cli format: erases the recorder's flash after asking (twice when recordings are not all on
// disk; --yes agrees), then follows the format to its end.
#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runFormat(CliContext& context) {
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  if (const std::string why = whyNotNow(ms->session()); !why.empty()) return fail(why);
  if (!ms->maintenance().format()) return fail("the format was not confirmed: nothing was erased");
  return waitForMaintenance(*ms, operations::MaintenanceJob::Format,
                            std::chrono::minutes(context.number("--wait").value_or(600)));
}

}  // namespace

RECDESK_CLI_COMMAND("format", "erase every recording in the recorder's flash (asks first; --yes agrees)", runFormat,
                    waitOption());

}  // namespace recdesk::cli
