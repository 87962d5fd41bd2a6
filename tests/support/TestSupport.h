#pragma once
// Helpers shared by every test program.
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "ports/UserInterface.h"

namespace recdesk::test {

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

// Loads lang/english.lang into the process-wide library (once).
void loadEnglish();

// A scripted user interface: answers come from a queue (default: the first button's answer),
// and every call is recorded.
class FakeUi : public ports::UserInterface {
 public:
  struct Message {
    std::string text;
    std::string caption;
    ports::Icon icon;
    ports::Buttons buttons;
  };

  // Questions: answered at once like message() and choose() below, or held while `holdQuestions`
  // is set, until the test answers them (answerHeld), later and in any order.
  void ask(const ports::Question& question, ports::ReplyHandler done) override;
  bool holdQuestions = false;
  struct Held {
    ports::Question question;
    ports::ReplyHandler done;
  };
  std::vector<Held> held;  // questions still waiting, oldest first
  std::vector<ports::Question> asked;  // every question asked
  // Delivers the answer to held question `index` (it leaves `held`).
  void answerHeld(std::size_t index, const ports::Reply& reply);
  void answerHeld(std::size_t index, ports::Answer answer) { answerHeld(index, ports::Reply{answer, 0}); }

  ports::Answer message(const std::string& text, const std::string& caption, ports::Icon icon,
                        ports::Buttons buttons) override;
  void status(const std::string& text) override { statuses.push_back(text); }
  bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override;
  void progressDone() override { ++progressDoneCount; }
  // Questions with named answers: recorded, answered from `choices` (an empty entry dismisses the
  // question); dismissed when none is left.
  std::optional<std::size_t> choose(const std::string& text, const std::string& caption,
                                    const std::vector<std::string>& answers) override;

  // Text questions: recorded, answered from `texts` (nothing = cancelled); cancelled when none is left.
  void askText(const ports::TextQuestion& question, ports::TextReplyHandler done) override;
  std::deque<std::optional<std::string>> texts;
  std::vector<ports::TextQuestion> textQuestions;

  std::deque<ports::Answer> answers;  // taken one per question
  std::vector<Message> messages;
  struct Question {
    std::string text;
    std::string caption;
    std::vector<std::string> answers;
  };
  std::deque<std::optional<std::size_t>> choices;
  std::vector<Question> questions;
  std::vector<std::string> statuses;
  std::uint64_t progressCalls = 0;
  std::uint64_t cancelAfterProgressCalls = 0;  // 0 = never cancel
  int progressDoneCount = 0;
};

}  // namespace recdesk::test
