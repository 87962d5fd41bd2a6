// recdesk-cli badblocks: asks the recorder to scan its flash for bad blocks and prints how many it
// found, with their share of the flash when its size is known.
#include <cstdio>

#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runBadBlocks(CliContext& context) {
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  if (const std::string why = whyNotNow(ms->session()); !why.empty()) return fail(why);
  ms->session().ui().quiet = true;
  if (!ms->maintenance().scanBadBlocks()) return fail("the scan request could not be sent");
  const auto limit = std::chrono::minutes(context.number("--wait").value_or(60));
  if (!ms->session().runUntil([&] { return ms->maintenance().lastScan().has_value(); }, limit))
    return fail("the recorder did not report the result of the bad-block scan within " +
                std::to_string(limit.count()) + " minutes");
  const auto& scan = *ms->maintenance().lastScan();
  std::printf("Bad blocks: %ld", scan.badBlocks);
  if (scan.percent) std::printf(" of %u (%.2f%%)", static_cast<unsigned>(scan.totalBlocks), *scan.percent);
  std::printf("\n");
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("badblocks", "scan the recorder's flash for bad blocks", runBadBlocks,
                    integer("--wait", "MINUTES", 1, 10080, "how long to wait for the result (default 60)"));

}  // namespace recdesk::cli
