#pragma once
// How the profile editor asks: the new name in the save-as dialog, messages and questions as the
// desktop program's boxes over the editor. Nothing waits in a nested loop; answers come through the
// callbacks. A name asked for while a message is still up (a refused name is told, then asked again)
// waits until that message is closed, so the two never stand side by side.
#include <functional>
#include <memory>
#include <optional>

#include "platform/QtUserInterface.h"

class QWidget;

namespace recdesk::gui {

class ProfileEditorPrompts final : public ports::UserInterface {
 public:
  explicit ProfileEditorPrompts(QWidget* parent);

  void ask(const ports::Question& question, ports::ReplyHandler done) override;
  ports::Answer message(const std::string& text, const std::string& caption, ports::Icon icon,
                        ports::Buttons buttons) override;
  void askText(const ports::TextQuestion& question, ports::TextReplyHandler done) override;
  void withdraw(ports::Topic topic) override { boxes_.withdraw(topic); }

  // The open box of `topic` and the open name dialog, or null (tests).
  QWidget* openBox(ports::Topic topic) const { return boxes_.openBox(topic); }
  QWidget* nameDialog() const;

 private:
  void showNameDialog(const ports::TextQuestion& question, ports::TextReplyHandler done);

  QWidget* parent_;
  QtUserInterface boxes_;
  int messagesUp_ = 0;
  std::function<void()> pendingName_;  // a name asked while a message was up
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

}  // namespace recdesk::gui
