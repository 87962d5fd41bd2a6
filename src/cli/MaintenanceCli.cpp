#include "MaintenanceCli.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>

#include "Interrupt.h"

namespace recdesk::cli {
namespace {

std::string clockText(double seconds) {
  const long long s = seconds < 0 ? 0 : static_cast<long long>(seconds + 0.5);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return buffer;
}

void drawProgress(CliSession& session, const operations::MaintenanceProgress& p) {
  const double elapsed = static_cast<double>(p.elapsedMs) / 1000.0;
  if (p.job == operations::MaintenanceJob::Check) {
    const auto& c = p.check;
    const double fraction = c.total ? static_cast<double>(c.position) / static_cast<double>(c.total) : 0.0;
    const std::string detail = c.pass == 0          ? "starting"
                               : c.secondsLeft ? "about " + clockText(*c.secondsLeft) + " left in this pass"
                                               : "estimating";
    const std::string caption = c.pass == 0 ? std::string("Checking")
                                            : "Checking, pass " + std::to_string(c.pass) + " of " + std::to_string(c.passes);
    session.ui().progressLine(caption, fraction, detail);
    return;
  }
  // The recorder tells no position while it formats: the line shows the time and the bad blocks.
  if (::isatty(STDERR_FILENO) == 0) return;
  std::fprintf(stderr, "\rFormatting %s: %s, %ld bad block(s) so far\033[K", p.deviceName.c_str(),
               clockText(elapsed).c_str(), p.badBlocks);
  std::fflush(stderr);
}

}  // namespace

MaintenanceSession::~MaintenanceSession() {
  if (rs.operations) rs.operations->setFrontEnd(nullptr);
  if (rs.session) rs.session->close();
}

std::unique_ptr<MaintenanceSession> openMaintenanceSession(CliContext& context) {
  auto ms = std::make_unique<MaintenanceSession>();
  if (!openRecordingsSession(context, folderOptions(context), ms->rs)) return nullptr;
  ms->rs.operations->setFrontEnd(&ms->watch);
  return ms;
}

std::string whyNotNow(CliSession& session) {
  const session::SessionState state = session.host().state();
  if (state.timerArmed) return "the recorder's timer is armed: disarm it first (timer --disarm)";
  if (state.locked) return "the recorder is locked: it waits for its PIN or password";
  if (state.formatting) return "the recorder is busy with a format or flash check";
  if (state.recording) return "the recorder is recording: stop it first (record off)";
  return {};
}

OptionDef waitOption() {
  return integer("--wait", "MINUTES", 1, 10080,
                 "how long to wait for the recorder to report the end (default 600 minutes)");
}

int waitForMaintenance(MaintenanceSession& ms, operations::MaintenanceJob job, std::chrono::minutes waitLimit) {
  CliSession& session = ms.session();
  MaintenanceWatch& watch = ms.watch;
  const char* what = job == operations::MaintenanceJob::Format ? "format" : "flash check";
  const auto started = [&] { return watch.progress && watch.progress->job == job; };
  if (!session.runUntil(started, session.timeout()))
    return fail(std::string("the recorder did not start the ") + what + " (it refused or did not answer)");

  std::optional<InterruptScope> ctrlC(std::in_place);
  const auto deadline = std::chrono::steady_clock::now() + waitLimit;
  bool limitPassed = false;
  const auto over = [&] { return !watch.progress->running; };
  while (!over()) {
    session.runUntil(
        [&] {
          if (watch.progress->running) drawProgress(session, *watch.progress);
          return over() || InterruptScope::interrupted() || std::chrono::steady_clock::now() >= deadline;
        },
        std::chrono::hours(24 * 7));
    if (over()) break;
    session.ui().progressDone();
    std::fputs("\n", stderr);
    if (std::chrono::steady_clock::now() >= deadline) {
      // The user's own limit: stop waiting without asking again.
      limitPassed = true;
      ports::Reply yes;
      yes.answer = ports::Answer::Yes;
      session.ui().answer(ports::Topic::AbandonMaintenance, yes);
    }
    InterruptScope::clear();
    ms.maintenance().abandon();
    if (limitPassed && !over()) break;
  }
  ctrlC.reset();
  session.ui().progressDone();
  if (::isatty(STDERR_FILENO)) std::fputs("\n", stderr);

  const operations::MaintenanceProgress& p = *watch.progress;
  if (p.abandoned) {
    if (limitPassed)
      return fail(std::string("the recorder did not report the end of the ") + what + " within " +
                  std::to_string(waitLimit.count()) + " minutes; stopped waiting for it");
    return fail(std::string("stopped waiting for the end of the ") + what + "; the recorder may still be busy");
  }
  // The list is read again after the end: wait for it so that the session ends quietly.
  session.runUntil([&] { return session.host().info().listComplete && !session.host().sending(); }, session.timeout());
  std::printf("%s complete on %s: %ld bad block(s), %s\n",
              job == operations::MaintenanceJob::Format ? "Format" : "Flash check", p.deviceName.c_str(), p.badBlocks,
              clockText(static_cast<double>(p.elapsedMs) / 1000.0).c_str());
  return kExitOk;
}

}  // namespace recdesk::cli
