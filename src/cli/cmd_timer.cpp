// recdesk-cli timer: the recorder's timer programme (rows, what is still to record, the free recording
// time before and after it); --set FILE writes a programme and arms the timer, --clear clears it,
// --arm and --disarm arm and disarm the timer.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "Cli.h"
#include "CliSession.h"
#include "SimTimer.h"
#include "operations/RecorderClock.h"
#include "operations/TimerProgramme.h"
#include "operations/TimerProgrammeFile.h"

namespace recdesk::cli {
namespace {

using operations::TimerProgramme;

// What the programme tells the command line.
struct Outcome : operations::TimerProgrammeListener {
  bool shown = false;
  std::optional<bool> written;
  void onProgrammeChanged(const operations::TimerProgrammeModel& m) override { shown = shown || m.visible; }
  void onProgrammeWritten(bool ok) override { written = ok; }
};

// Reads FILE (untrusted): the entries, or false with the reasons printed.
bool readProgrammeFile(const std::string& path, std::vector<operations::TimerEntry>& entries) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail("cannot read the timer programme " + path);
    return false;
  }
  std::string text;
  text.resize(operations::kMaxTimerProgrammeText + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const auto parsed = operations::parseTimerProgrammeText(text);
  if (!parsed.ok()) {
    for (const auto& e : parsed.errors) std::cerr << "recdesk-cli: " << path << ": " << e << "\n";
    std::cerr << "recdesk-cli: nothing was written: " << path
              << " must hold one entry per line, \"YYYY-MM-DD HH:MM:SS SECONDS\"\n";
    return false;
  }
  entries = parsed.entries;
  return true;
}

void printProgramme(const operations::TimerProgrammeModel& m, std::time_t now) {
  const auto totals = m.totals(now);
  std::printf("Recorder clock:       %s\n", session::clockText(m.recorderNow(now)).c_str());
  if (m.rowCount() == 0) {
    std::printf("The timer programme has no entries.\n");
  } else {
    std::printf("%5s  %-19s  %9s  %s\n", "Index", "Start", "Duration", "State");
    for (std::size_t i = 0; i < m.rowCount(); ++i) {
      if (!m.rows[i]) continue;
      const auto& e = *m.rows[i];
      std::printf("%5zu  %-19s  %9s  %s\n", i, session::clockText(e.start).c_str(),
                  operations::timerSpanText(e.durationSeconds).c_str(), totals.pending[i] ? "pending" : "past");
    }
  }
  std::printf("Total to record:      %s\n", operations::timerSpanText(static_cast<std::int64_t>(totals.pendingSeconds)).c_str());
  std::printf("Free recording time:  %s\n", m.freeText().c_str());
  std::printf("Free after:           %s\n", m.freeAfterText(now).c_str());
  std::fflush(stdout);
}

int finish(CliSession& s, int code, const std::string& failure = {}) {
  s.close();
  return failure.empty() ? code : fail(failure);
}

int runTimer(CliContext& context) {
  const int actions = static_cast<int>(context.given("--set")) + context.given("--clear") + context.given("--arm") +
                      context.given("--disarm");
  if (actions > 1) return usageError(context, "give at most one of --set, --clear, --arm and --disarm");
  std::vector<operations::TimerEntry> entries;
  if (const auto path = context.value("--set"); path && !readProgrammeFile(*path, entries)) return kExitFailure;

  std::string error;
  auto session = CliSession::create(context, error);
  if (!session) return fail(error);
  session->ui().quiet = true;
  // The demo's recorder has its timer already (armed with --demo-timer-armed).
  auto& host = session->host();
  operations::RecorderClock clock(host, session->settings());
  clock.setAskOnDifference(false);
  TimerProgramme programme(host, clock);
  programme.setNoticeEnabled(false);  // the command line tells and exits instead
  Outcome outcome;
  programme.setListener(&outcome);
  if (!session->connect(error, true)) return finish(*session, kExitFailure, error);
  const auto limit = session->timeout();
  const auto armed = [&] { return host.state().timerArmed; };

  if (context.given("--disarm")) {
    if (!armed()) {
      std::cout << "The timer is not armed.\n";
      return finish(*session, kExitOk);
    }
    if (!programme.disarm() || !session->runUntil([&] { return !armed(); }, limit))
      return finish(*session, kExitFailure, "the recorder did not confirm that its timer is disarmed");
    std::cout << "Timer disarmed.\n";
    return finish(*session, kExitOk);
  }
  if (context.given("--arm") && armed()) {
    std::cout << "The timer is already armed.\n";
    return finish(*session, kExitOk);
  }
  if (armed())
    return finish(*session, kExitFailure,
                  "the recorder's timer is armed: it waits to record by its timer programme and cannot be used "
                  "until the timer is disarmed (recdesk-cli timer --disarm)");
  if (context.given("--arm")) {
    if (!programme.arm() || !session->runUntil(armed, limit))
      return finish(*session, kExitFailure, "the recorder did not confirm that its timer is armed");
    std::cout << "Timer armed.\n";
    return finish(*session, kExitOk);
  }

  if (!programme.read() || !session->runUntil([&] { return outcome.shown; }, limit))
    return finish(*session, kExitFailure, "the recorder did not report its timer programme");
  const auto& model = programme.model();

  if (context.given("--clear") || context.given("--set")) {
    const bool set = context.given("--set");
    const std::size_t rows = model.rowCount();
    if (set && entries.size() > rows)
      return finish(*session, kExitFailure,
                    "the recorder has room for " + std::to_string(rows) + " timer entries, the programme holds " +
                        std::to_string(entries.size()) + "; nothing was written");
    if (set) {
      operations::TimerRows planned;
      for (std::size_t i = 0; i < entries.size(); ++i) planned[i] = entries[i];
      if (operations::timerTotals(planned, model.recorderNow(host.wallNow())).pendingSeconds == 0)
        return finish(*session, kExitFailure,
                      "nothing in the programme is still to come on the recorder's clock (" +
                          session::clockText(model.recorderNow(host.wallNow())) +
                          "); nothing was written and the timer was not armed");
    }
    if (rows == 0) {
      std::cout << "The timer programme has no entries to " << (set ? "write" : "clear") << ".\n";
      return finish(*session, set && !entries.empty() ? kExitFailure : kExitOk);
    }
    const bool started = set ? programme.writeProgramme(entries) : programme.clear();
    if (!started)  // the question about the free recording time was answered no
      return finish(*session, kExitFailure,
                    "the programme needs more recording time than is free on the recorder; nothing was written "
                    "(--yes writes it anyway)");
    const bool done = session->runUntil([&] { return outcome.written.has_value(); }, limit * 4);
    if (!done || !*outcome.written)
      return finish(*session, kExitFailure, "the recorder did not acknowledge every timer entry; the timer was not armed");
    if (set && !session->runUntil(armed, limit))
      return finish(*session, kExitFailure, "the programme was written but the recorder did not confirm that its timer is armed");
    if (set)
      std::cout << "Timer programme written (" << entries.size() << " entr" << (entries.size() == 1 ? "y" : "ies")
                << ", " << rows - entries.size() << " cleared) and the timer armed.\n";
    else
      std::cout << "Timer programme cleared (" << rows << " entr" << (rows == 1 ? "y" : "ies") << ").\n";
    return finish(*session, kExitOk);
  }

  printProgramme(model, host.wallNow());
  return finish(*session, kExitOk);
}

}  // namespace

RECDESK_CLI_COMMAND("timer",
                    "the recorder's timer programme with the free recording time; --set FILE writes and arms, "
                    "--clear, --arm, --disarm",
                    runTimer,
                    file("--set", "FILE",
                         "write the programme in FILE (one entry per line: YYYY-MM-DD HH:MM:SS SECONDS) and arm "
                         "the timer; asks first when it needs more than the free recording time"),
                    flag("--clear", "clear every entry of the programme"), flag("--arm", "arm the timer"),
                    flag("--disarm", "disarm the timer"));

}  // namespace recdesk::cli
