#include "dialogs/ProfileEditorPrompts.h"

#include <QWidget>

#include "dialogs/ProfileSaveAsDialog.h"

namespace recdesk::gui {

ProfileEditorPrompts::ProfileEditorPrompts(QWidget* parent) : parent_(parent), boxes_(parent) {}

void ProfileEditorPrompts::ask(const ports::Question& question, ports::ReplyHandler done) {
  boxes_.ask(question, std::move(done));
}

ports::Answer ProfileEditorPrompts::message(const std::string& text, const std::string& caption,
                                            ports::Icon icon, ports::Buttons buttons) {
  ports::Question q;
  q.text = text;
  q.caption = caption;
  q.icon = icon;
  q.buttons = buttons;
  q.defaultAnswer = ports::Answer::Ok;
  ++messagesUp_;
  std::weak_ptr<char> alive = life_;
  boxes_.ask(q, [this, alive](const ports::Reply&) {
    if (alive.expired()) return;
    if (--messagesUp_ > 0 || !pendingName_) return;
    auto next = std::move(pendingName_);
    pendingName_ = nullptr;
    next();
  });
  // The editor only tells things this way: its questions go through ask().
  return ports::Answer::Ok;
}

void ProfileEditorPrompts::askText(const ports::TextQuestion& question, ports::TextReplyHandler done) {
  if (messagesUp_ > 0) {
    pendingName_ = [this, question, done] { showNameDialog(question, done); };
    return;
  }
  showNameDialog(question, std::move(done));
}

void ProfileEditorPrompts::showNameDialog(const ports::TextQuestion& question, ports::TextReplyHandler done) {
  std::weak_ptr<char> alive = life_;
  auto* dialog = new ProfileSaveAsDialog(
      question,
      [alive, done](const std::optional<std::string>& text) {
        if (!alive.expired() && done) done(text);
      },
      parent_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName(QStringLiteral("profileSaveAs"));
  dialog->open();
}

QWidget* ProfileEditorPrompts::nameDialog() const {
  if (!parent_) return nullptr;
  for (auto* dialog : parent_->findChildren<ProfileSaveAsDialog*>(QString(), Qt::FindDirectChildrenOnly))
    if (dialog->isVisible()) return dialog;
  return nullptr;
}

}  // namespace recdesk::gui
