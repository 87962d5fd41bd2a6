#pragma once
// The user-interface port of the desktop program. Message boxes are window-modal but never run a
// nested event loop: a question's answer comes back through its callback when the user clicks, and
// a plain message returns at once while its box stays up. Status texts and progress go to whoever
// the main window names (sinks), so this class knows no window layout. No Qt header here.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ports/UserInterface.h"

class QWidget;

namespace recdesk::gui {

class ConversionProgressWindow;

class QtUserInterface final : public ports::UserInterface {
 public:
  explicit QtUserInterface(QWidget* parent = nullptr);
  ~QtUserInterface() override;

  void setParent(QWidget* parent) { parent_ = parent; }
  void setStatusSink(std::function<void(const std::string&)> sink) { statusSink_ = std::move(sink); }

  void ask(const ports::Question& question, ports::ReplyHandler done) override;
  // Shows the box and returns at once: Ok for a box with an OK button, otherwise the harmless
  // answer (No or Cancel), since a synchronous answer would need a nested loop. Questions go
  // through ask().
  ports::Answer message(const std::string& text, const std::string& caption, ports::Icon icon,
                        ports::Buttons buttons) override;
  // A line, a secret, a new secret typed twice or an existing file; the answer comes later.
  void askText(const ports::TextQuestion& question, ports::TextReplyHandler done) override;
  // Closes the open box of `topic` without calling its callback.
  void withdraw(ports::Topic topic) override;
  void status(const std::string& text) override;
  bool progress(const std::string& caption, std::uint64_t done, std::uint64_t total) override;
  void progressDone() override;

  // The boxes shown and not yet closed (tests close them through their callbacks).
  int openBoxes() const { return openBoxes_; }
  // The open box of `topic` (the most recent one), or null.
  QWidget* openBox(ports::Topic topic) const;

 private:
  void forget(QWidget* box);

  QWidget* parent_;
  std::function<void(const std::string&)> statusSink_;
  ConversionProgressWindow* progress_ = nullptr;
  int openBoxes_ = 0;
  std::multimap<ports::Topic, QWidget*> topicBoxes_;  // open boxes by topic
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace recdesk::gui
