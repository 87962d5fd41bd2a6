// recdesk-cli password: changes the recorder's password. The recorder is first asked whether it
// still has the factory password; the old password is needed only when it has not. What --old and
// --new do not give is asked for on the terminal without echo.
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <string>

#include "Cli.h"
#include "CliSession.h"
#include "operations/Password.h"

namespace recdesk::cli {
namespace {

using operations::PasswordForm;

// One line typed on the terminal (without echo), or read from standard input when it is no
// terminal. Nothing at the end of the input.
std::optional<std::string> askHidden(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios saved{};
  const bool terminal = ::isatty(STDIN_FILENO) != 0 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (!terminal) std::cerr << "\n";
  if (!read) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int runPassword(CliContext& context) {
  // The new password first, so that the session is not kept waiting for it.
  std::string newPassword, confirmation;
  if (const auto given = context.value("--new")) {
    newPassword = confirmation = *given;
  } else {
    const auto typed = askHidden("New password (4 digits): ");
    const auto again = typed ? askHidden("New password again: ") : std::nullopt;
    if (!typed || !again) return usageError(context, "no new password given: give --new PWD or type it when asked");
    newPassword = *typed;
    confirmation = *again;
  }

  std::string error;
  auto session = CliSession::connected(context, error);
  if (!session) return fail(error);
  auto& host = session->host();
  const auto ends = [&](int code, const std::string& sentence = {}) {
    session->close();
    if (!sentence.empty()) fail(sentence);
    return code;
  };

  operations::PasswordChange change(host);
  if (!change.start() ||
      !session->runUntil([&] { return change.formWanted().has_value() || !host.linkOpen(); }, session->timeout()) ||
      !change.formWanted())
    return ends(kExitFailure, "the recorder did not answer whether it has the factory password");

  PasswordForm form = change.makeForm(*change.formWanted());
  if (form.kind() == PasswordForm::Kind::Full) {
    std::string oldPassword;
    if (const auto given = context.value("--old")) {
      oldPassword = *given;
    } else {
      const auto typed = askHidden("Old password (empty: the factory password): ");
      if (!typed) return ends(kExitUsage, "no old password given: give --old PWD or type it when asked");
      oldPassword = *typed;
    }
    form.setText(PasswordForm::Box::Old, oldPassword);
  }
  form.setText(PasswordForm::Box::New, newPassword);
  form.setText(PasswordForm::Box::Confirm, confirmation);
  // A password that breaks a rule has been told (texts 57719 to 57721).
  if (!change.submit(form)) return ends(kExitFailure);
  if (!session->runUntil([&] { return change.result().has_value() || !host.linkOpen(); }, session->timeout()) ||
      !change.result())
    return ends(kExitFailure, "the recorder did not answer the password change");
  if (*change.result() == TextId::PasswordChangeRefused) return ends(kExitFailure);
  return ends(kExitOk);
}

}  // namespace

RECDESK_CLI_COMMAND("password",
                    "change the recorder's password (four digits); what --old and --new do not give is asked for",
                    runPassword, text("--old", "PWD", "the recorder's password now (when it is not the factory one)"),
                    text("--new", "PWD", "the new password"));

}  // namespace recdesk::cli
