// recdesk-cli unlock: answers a locked recorder's PIN prompt with the response made from PIN, the
// recorder's name and its challenge under the maker's PIN table (--pin-table FILE, else the
// setting "Options" "PinTable").
#include <iostream>

#include "Cli.h"
#include "CliSession.h"
#include "operations/PinUnlock.h"

namespace recdesk::cli {
namespace {

int runUnlock(CliContext& context) {
  std::string error;
  auto session = CliSession::create(context, error);
  if (!session) return fail(error);
  session->ui().quiet = true;
  auto& host = session->host();
  operations::PinUnlock unlock(host);
  if (const auto table = context.value("--pin-table")) unlock.setTableFile(*table);
  const auto ends = [&](int code, const std::string& sentence = {}) {
    session->close();
    if (!sentence.empty()) fail(sentence);
    return code;
  };

  host.connectAttempt();
  if (!host.linkOpen()) return ends(kExitFailure, "cannot open " + session->linkDescription());
  const bool met = session->runUntil(
      [&] { return unlock.prompt().has_value() || host.info().chainComplete || host.state().timerArmed; },
      session->timeout());
  if (!met) return ends(kExitFailure, "no recorder answered on " + session->linkDescription());
  if (!unlock.prompt() && host.state().timerArmed)
    return ends(kExitFailure, "the recorder's timer is armed: it does not ask for a PIN until the timer is disarmed");
  if (!unlock.prompt()) {
    std::cout << "The recorder " << host.info().deviceName << " is not locked.\n" << std::flush;
    return ends(kExitOk);
  }

  // A refused PIN has been told (the PIN rule or why the table cannot answer).
  if (!unlock.submit(context.value("PIN").value_or(""))) return ends(kExitFailure);
  // The recorder answers with its acknowledgement (the session starts again and identifies the
  // recorder) or prompts once more: with a new challenge, or twice with the same one.
  const std::string answered = unlock.prompt()->challenge;
  const std::size_t promptsBefore = unlock.promptsSeen();
  const auto refused = [&] {
    const std::size_t more = unlock.promptsSeen() - promptsBefore;
    return more >= 2 || (more == 1 && unlock.prompt() && unlock.prompt()->challenge != answered);
  };
  session->runUntil([&] { return host.info().chainComplete || refused() || !host.linkOpen(); }, session->timeout());
  if (host.info().chainComplete) {
    std::cout << "The recorder " << host.info().deviceName << " is unlocked.\n" << std::flush;
    return ends(kExitOk);
  }
  if (refused()) return ends(kExitFailure, "the recorder refused the PIN (it asks for it again)");
  return ends(kExitFailure, "the recorder did not answer the PIN response");
}

}  // namespace

RECDESK_CLI_COMMAND("unlock", "answer a locked recorder's PIN prompt", runUnlock,
                    argument(text("PIN", "PIN", "the recorder's four-digit PIN"), true),
                    file("--pin-table", "FILE",
                         "the recorder maker's PIN table (C=dddddddddd lines) instead of the setting "
                         "Options PinTable"));

}  // namespace recdesk::cli
