// recdesk-cli tx: the T7 transmitter's power, scrambler and carrier frequency; shown, or set with
// --frequency, --power and --scrambler.
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "CliSession.h"
#include "lang/Strings.h"
#include "operations/Transmitter.h"

namespace recdesk::cli {
namespace {

using operations::Scrambler;
using operations::TransmitPower;

void printValues(const operations::TransmitterValues& v) {
  const auto row = [](const char* label, const std::string& value) {
    std::printf("%-15s%s\n", label, value.c_str());
  };
  row("Power:", !v.power ? "unknown" : *v.power == TransmitPower::High ? "high" : "low");
  row("Scrambler:", !v.scramblerAvailable ? "not available"
                    : !v.scrambler        ? "unknown"
                    : *v.scrambler == Scrambler::On ? "on"
                                                    : "off");
  row("Frequency:", v.frequencyText.empty() ? "unknown" : v.frequencyText + " MHz");
  char text[96];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(v.secondValue));
  row("Second value:", text);
  row("Range:", operations::frequencyText(v.lowestHz) + " to " + operations::frequencyText(v.highestHz) + " MHz");
  std::fflush(stdout);
}

int runTx(CliContext& context) {
  const bool setting = context.given("--frequency") || context.given("--power") || context.given("--scrambler");
  std::string error;
  auto session = CliSession::connected(context, error);
  if (!session) return fail(error);
  auto& host = session->host();
  const auto ends = [&](int code, const std::string& sentence = {}) {
    session->close();
    if (!sentence.empty()) fail(sentence);
    return code;
  };
  if (!host.state().transmitterPresent)
    return ends(kExitFailure, "the device " + host.info().deviceName + " on " + session->linkDescription() +
                                  " is a recorder, not a transmitter");

  operations::Transmitter tx(host);
  // A transmitter that stays silent has been told (the query gives up, or the session is reset).
  if (!tx.open() ||
      !session->runUntil([&] { return tx.shown() || !tx.initialQueryRunning() || !host.linkOpen(); },
                         session->timeout()) ||
      !tx.shown())
    return session->ui().told(lang::text(TextId::TransmitterNoAnswer))
               ? ends(kExitFailure)
               : ends(kExitFailure, "the transmitter did not answer its settings query");
  if (!setting) {
    printValues(tx.values());
    return ends(kExitOk);
  }

  operations::TransmitterForm form = tx.form();
  if (const auto f = context.value("--frequency")) form.frequencyText = *f;
  if (const auto p = context.value("--power")) form.power = *p == "low" ? TransmitPower::Low : TransmitPower::High;
  if (const auto s = context.value("--scrambler")) {
    if (!tx.values().scramblerAvailable)
      return ends(kExitFailure, "the transmitter has no scrambler to switch (it refuses the scrambler query)");
    form.scrambler = *s == "off" ? Scrambler::Off : Scrambler::On;
  }
  // A refused frequency has been told (text 57701) by the time apply or the transmitter refuses it.
  if (!tx.apply(form)) return ends(kExitFailure);
  const bool answered = session->runUntil(
      [&] { return (tx.queued() == 0 && tx.awaitingReplies() == 0) || tx.refusals() > 0 || !host.linkOpen(); },
      session->timeout());
  if (tx.refusals() > 0) return ends(kExitFailure);
  if (!answered || tx.queued() != 0 || tx.awaitingReplies() != 0)
    return ends(kExitFailure, "the transmitter did not acknowledge every setting; check them with recdesk-cli tx");
  printValues(tx.values());
  return ends(kExitOk);
}

}  // namespace

RECDESK_CLI_COMMAND("tx",
                    "the T7 transmitter's power, scrambler and frequency; set them with --frequency, --power and "
                    "--scrambler",
                    runTx, text("--frequency", "MHZ", "carrier frequency in MHz (within the transmitter's range)"),
                    choice("--power", {"high", "low"}, "transmit power"),
                    choice("--scrambler", {"on", "off"}, "scrambler"));

}  // namespace recdesk::cli
