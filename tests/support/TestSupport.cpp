#include "TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "lang/Strings.h"

namespace recdesk::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "recdesk-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
}

void loadEnglish() {
  static const bool loaded = [] {
    const char* dir = std::getenv("RECDESK_LANG_DIR");
    std::filesystem::path base = dir ? dir : RECDESK_SOURCE_LANG_DIR;
    if (!lang::strings().loadFile(base / "english.lang"))
      throw std::runtime_error("cannot load english.lang from " + base.string());
    return true;
  }();
  (void)loaded;
}

void FakeUi::askText(const ports::TextQuestion& question, ports::TextReplyHandler done) {
  textQuestions.push_back(question);
  std::optional<std::string> reply;
  if (!texts.empty()) {
    reply = texts.front();
    texts.pop_front();
  }
  if (done) done(reply);
}

void FakeUi::ask(const ports::Question& question, ports::ReplyHandler done) {
  asked.push_back(question);
  if (holdQuestions) {
    held.push_back({question, std::move(done)});
    return;
  }
  UserInterface::ask(question, std::move(done));
}

void FakeUi::answerHeld(std::size_t index, const ports::Reply& reply) {
  if (index >= held.size()) throw std::out_of_range("no such held question");
  Held h = std::move(held[index]);
  held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
  if (h.done) h.done(reply);
}

std::optional<std::size_t> FakeUi::choose(const std::string& text, const std::string& caption,
                                          const std::vector<std::string>& answers) {
  questions.push_back({text, caption, answers});
  if (choices.empty()) return std::nullopt;
  const auto chosen = choices.front();
  choices.pop_front();
  return chosen;
}

ports::Answer FakeUi::message(const std::string& text, const std::string& caption, ports::Icon icon,
                              ports::Buttons buttons) {
  messages.push_back({text, caption, icon, buttons});
  if (!answers.empty()) {
    const auto a = answers.front();
    answers.pop_front();
    return a;
  }
  switch (buttons) {
    case ports::Buttons::YesNo:
    case ports::Buttons::YesNoCancel: return ports::Answer::Yes;
    case ports::Buttons::RetryCancel: return ports::Answer::Retry;
    case ports::Buttons::AbortRetryIgnore: return ports::Answer::Abort;
    default: return ports::Answer::Ok;
  }
}

bool FakeUi::progress(const std::string&, std::uint64_t, std::uint64_t) {
  ++progressCalls;
  return cancelAfterProgressCalls == 0 || progressCalls < cancelAfterProgressCalls;
}

}  // namespace recdesk::test
