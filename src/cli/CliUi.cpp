#include "CliUi.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/Restrictions.h"
#include "lang/Strings.h"

namespace recdesk::cli {
namespace {

bool stderrIsTerminal() {
  static const bool tty = ::isatty(STDERR_FILENO) != 0;
  return tty;
}

const char* iconWord(ports::Icon icon) {
  switch (icon) {
    case ports::Icon::Error: return "error";
    case ports::Icon::Warning: return "warning";
    case ports::Icon::Question: return "question";
    case ports::Icon::Information: return "note";
    case ports::Icon::None: break;
  }
  return "note";
}

// The affirmative answer of a button set, and its negative one.
ports::Answer affirmative(ports::Buttons buttons) {
  switch (buttons) {
    case ports::Buttons::YesNo:
    case ports::Buttons::YesNoCancel: return ports::Answer::Yes;
    case ports::Buttons::RetryCancel: return ports::Answer::Retry;
    case ports::Buttons::AbortRetryIgnore: return ports::Answer::Ignore;
    default: return ports::Answer::Ok;
  }
}
ports::Answer negative(ports::Buttons buttons) {
  switch (buttons) {
    case ports::Buttons::YesNo: return ports::Answer::No;
    case ports::Buttons::AbortRetryIgnore: return ports::Answer::Abort;
    case ports::Buttons::Ok: return ports::Answer::Ok;
    default: return ports::Answer::Cancel;
  }
}

// Reads one line from the terminal, without echo for a secret.
std::optional<std::string> readLine(const std::string& prompt, bool secret) {
  std::cerr << prompt << (prompt.empty() || prompt.back() == ' ' ? "" : " ") << std::flush;
  termios saved{};
  const bool noEcho = secret && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (noEcho) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (noEcho) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::cerr << "\n";
  }
  if (!got) return std::nullopt;
  return line;
}

}  // namespace

void CliUi::askText(const ports::TextQuestion& question, ports::TextReplyHandler done) {
  if (auto it = textPreset_.find(question.topic); it != textPreset_.end() && !it->second.empty()) {
    std::string text = it->second.front();
    it->second.pop_front();
    if (done) done(text);
    return;
  }
  if (!::isatty(STDIN_FILENO)) {
    if (done) done(std::nullopt);
    return;
  }
  progressDone();
  const bool secret = question.kind == ports::TextKind::Secret || question.kind == ports::TextKind::NewSecret;
  std::optional<std::string> text = readLine(question.prompt, secret);
  if (text && question.kind == ports::TextKind::NewSecret) {
    const auto again = readLine(lang::text(TextId::ConfirmRestrictionPassword), true);
    if (const auto problem = app::newPasswordProblem(*text, again.value_or(""))) {
      message(lang::text(*problem), question.caption, ports::Icon::Warning, ports::Buttons::Ok);
      text.reset();
    }
  }
  if (done) done(text);
}

void CliUi::ask(const ports::Question& question, ports::ReplyHandler done) {
  if (const auto it = preset_.find(question.topic); it != preset_.end()) {
    if (done) done(it->second);
    return;
  }
  UserInterface::ask(question, std::move(done));
}

ports::Answer CliUi::message(const std::string& text, const std::string& caption, ports::Icon icon,
                             ports::Buttons buttons) {
  progressDone();
  constexpr std::size_t kToldKept = 64;
  if (told_.size() == kToldKept) told_.pop_front();
  told_.push_back(text);
  std::cerr << (caption.empty() ? std::string("RecDesk") : caption) << " (" << iconWord(icon) << "): " << text
            << "\n";
  if (buttons == ports::Buttons::Ok) return ports::Answer::Ok;
  if (assumeYes_) {
    std::cerr << "  -> yes (--yes)\n";
    return affirmative(buttons);
  }
  if (!::isatty(STDIN_FILENO)) {
    std::cerr << "  -> no (no terminal to ask; give --yes to agree)\n";
    return negative(buttons);
  }
  const bool hasCancel = buttons == ports::Buttons::YesNoCancel || buttons == ports::Buttons::OkCancel ||
                         buttons == ports::Buttons::RetryCancel;
  for (;;) {
    std::cerr << (buttons == ports::Buttons::YesNoCancel ? "  [y]es / [n]o / [c]ancel? " : "  [y]es / [n]o? ")
              << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return negative(buttons);
    if (line.empty()) continue;
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    if (c == 'y') return affirmative(buttons);
    if (c == 'n') return buttons == ports::Buttons::YesNoCancel ? ports::Answer::No : negative(buttons);
    if (c == 'c' && hasCancel) return ports::Answer::Cancel;
  }
}

bool CliUi::told(const std::string& text) const {
  if (text.empty()) return false;
  return std::any_of(told_.begin(), told_.end(),
                     [&](const std::string& shown) { return shown.find(text) != std::string::npos; });
}

void CliUi::status(const std::string& text) {
  if (quiet || text.empty()) return;
  progressDone();
  std::cerr << text << "\n";
}

bool CliUi::progress(const std::string& caption, std::uint64_t done, std::uint64_t total) {
  const double fraction = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
  progressLine(caption, fraction, "");
  return true;
}

void CliUi::progressLine(const std::string& caption, double fraction, const std::string& detail) {
  if (!stderrIsTerminal()) return;
  const auto now = std::chrono::steady_clock::now();
  if (barShown_ && fraction < 1.0 && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  fraction = std::clamp(fraction, 0.0, 1.0);
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %5.1f%% %s\033[K", caption.c_str(), bar.c_str(), fraction * 100.0,
               detail.c_str());
  std::fflush(stderr);
  barShown_ = true;
}

void CliUi::progressDone() {
  if (barShown_) {
    std::fputs("\n", stderr);
    barShown_ = false;
  }
}

}  // namespace recdesk::cli
