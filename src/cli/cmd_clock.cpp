// recdesk-cli clock: the recorder's date and time beside this computer's, and the difference; with
// --set it sets the recorder's clock to this computer's ("now") or to a given date and time.
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "CliSession.h"
#include "operations/RecorderClock.h"

namespace recdesk::cli {
namespace {

// "YYYY-MM-DDTHH:MM:SS" exactly.
std::optional<session::DateTime> parseWhen(const std::string& text) {
  session::DateTime t;
  char tail = 0;
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':')
    return std::nullopt;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                  &t.second, &tail) != 6)
    return std::nullopt;
  if (!t.isCalendarDate()) return std::nullopt;
  return t;
}

int runClock(CliContext& context) {
  std::optional<session::DateTime> when;
  const auto setValue = context.value("--set");
  if (setValue && *setValue != "now") {
    when = parseWhen(*setValue);
    if (!when || *when < session::DateTime{2000, 1, 1, 0, 0, 0} || *when > session::DateTime{9000, 1, 1, 0, 0, 0})
      return usageError(context, "--set takes \"now\" or a date and time YYYY-MM-DDTHH:MM:SS from 2000-01-01 to "
                                 "9000-01-01, not \"" + *setValue + "\"");
  }

  std::string error;
  auto session = CliSession::create(context, error);
  if (!session) return fail(error);
  session->ui().quiet = true;
  operations::RecorderClock clock(session->host(), session->settings());
  clock.setAskOnDifference(false);  // connecting warns about it; this command shows or sets the clock
  if (!session->connect(error)) {
    session->close();
    return fail(error);
  }

  if (setValue) {
    const std::uint64_t before = clock.readings();
    const bool sent = when ? clock.set(*when) : clock.setToComputerClock();
    if (!sent || !session->runUntil([&] { return clock.readings() > before; }, session->timeout())) {
      session->close();
      return fail("the recorder did not acknowledge the new date and time");
    }
  }

  const std::time_t now = session->host().wallNow();
  const auto& model = clock.model();
  const auto& info = session->host().info();
  std::string recorder = session::clockText(model.recorderNow(now));
  if (!model.reading.valid()) recorder = session::clockText(model.reading) + " (not a valid date)";
  std::cout << (setValue ? "Recorder clock set:   " : "Recorder clock:       ") << recorder << "\n"
            << "This computer:        " << session::clockText(clock.computerNow()) << "\n";
  if (info.clockDifferenceSeconds)
    std::cout << "Difference:           " << clockDifferenceText(*info.clockDifferenceSeconds) << "\n";
  std::cout << std::flush;
  session->close();
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("clock",
                    "the recorder's date and time beside this computer's; --set now or --set "
                    "YYYY-MM-DDTHH:MM:SS sets it",
                    runClock,
                    text("--set", "WHEN", "set the recorder's clock: \"now\" (this computer's clock) or YYYY-MM-DDTHH:MM:SS"));

}  // namespace recdesk::cli
