#pragma once
// The user-interface port on a terminal: messages on stderr, questions answered on stdin (or by
// --yes), progress as a one-line bar when stderr is a terminal.
#include <chrono>
#include <deque>
#include <map>
#include <string>

#include "ports/UserInterface.h"

namespace recdesk::cli {

class CliUi : public ports::UserInterface {
 public:
  explicit CliUi(bool assumeYes) : assumeYes_(assumeYes) {}

  // Questions are answered at once: by an answer given on the command line for their topic, else
  // as message() and choose() answer them.
  void ask(const ports::Question& question, ports::ReplyHandler done) override;
  ports::Answer message(const std::string& text, const std::string& caption, ports::Icon icon,
                        ports::Buttons buttons) override;
  // Answers every question of `topic` with `reply` without asking (a command-line option).
  void answer(ports::Topic topic, const ports::Reply& reply) { preset_[topic] = reply; }
  // Text questions: an answer given on the command line for the topic is used once; else the terminal
  // is asked (secrets without echo, a new one twice); without a terminal the question is cancelled.
  void askText(const ports::TextQuestion& question, ports::TextReplyHandler done) override;
  void answerText(ports::Topic topic, const std::string& text) { textPreset_[topic].push_back(text); }
  void status(const std::string& text) override;
  bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override;
  void progressDone() override;

  // Shows a progress line with free text after the bar (download: rate and remaining time).
  void progressLine(const std::string& caption, double fraction, const std::string& detail);

  // True when a message shown so far told `text` already (a summary then need not tell it again).
  bool told(const std::string& text) const;

  bool quiet = false;  // no status lines

 private:
  bool assumeYes_;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::deque<std::string> told_;  // the latest messages shown
  std::map<ports::Topic, ports::Reply> preset_;
  std::map<ports::Topic, std::deque<std::string>> textPreset_;
};

}  // namespace recdesk::cli
