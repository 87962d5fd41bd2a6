// recdesk-cli record on|off: starts or stops a recording on the recorder.
#include <cstdio>

#include "Cli.h"
#include "MaintenanceCli.h"

namespace recdesk::cli {
namespace {

int runRecord(CliContext& context) {
  const bool on = context.value("WHAT").value_or("") == "on";
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  CliSession& session = ms->session();
  const session::SessionState state = session.host().state();
  if (state.timerArmed) return fail("the recorder's timer is armed: disarm it first (timer --disarm)");
  if (state.locked) return fail("the recorder is locked: it waits for its PIN or password");
  if (state.formatting) return fail("the recorder is busy with a format or flash check");
  auto& watch = ms->watch;
  if (on) {
    ms->maintenance().recordOn();
    if (!session.runUntil([&] { return watch.record.has_value(); }, session.timeout()))
      return fail("the recorder did not answer the command to start recording");
    if (!watch.record->first) return fail("the recorder refused to start recording (it may be recording already)");
    std::printf("Recording on %s.\n", session.host().info().deviceName.c_str());
    return kExitOk;
  }
  ms->maintenance().recordOff();
  // The recorder acknowledges; the list is read again (a new recording may be in it).
  const std::size_t before = session.host().info().listRecords;
  session.runUntil([&] { return watch.record.has_value(); }, session.timeout());
  session.runUntil([&] { return session.host().info().listComplete && !session.host().sending(); }, session.timeout());
  std::printf("Recording stopped on %s; it holds %zu recording(s)%s.\n", session.host().info().deviceName.c_str(),
              session.host().info().listRecords,
              session.host().info().listRecords > before ? " (one new)" : "");
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("record", "start or stop a recording on the recorder", runRecord,
                    argument(choice("WHAT", {"on", "off"}, "on starts a recording, off stops it"), true));

}  // namespace recdesk::cli
