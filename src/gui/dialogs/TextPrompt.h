#pragma once
// The text questions of the desktop program: a line to type (hidden for a secret), a new secret
// typed twice and checked before it is given, or an existing file picked in a file dialog. Each
// opens without a nested event loop; the answer (nothing when cancelled) goes to `done`.
#include <QDialog>

#include "ports/UserInterface.h"

class QLineEdit;

namespace recdesk::gui {

class TextPrompt : public QDialog {
  Q_OBJECT
 public:
  TextPrompt(const ports::TextQuestion& question, ports::TextReplyHandler done, QWidget* parent);

  QLineEdit* entry() const { return entry_; }
  QLineEdit* confirmation() const { return confirm_; }
  // OK: a new secret whose two entries differ or cannot be kept stays open with its message.
  void submit();

 private:
  ports::TextKind kind_;
  ports::TextReplyHandler done_;
  QLineEdit* entry_;
  QLineEdit* confirm_ = nullptr;
  bool answered_ = false;
};

// Opens the right prompt for `question` (a file dialog for an existing file).
void askTextQuestion(const ports::TextQuestion& question, ports::TextReplyHandler done, QWidget* parent);

}  // namespace recdesk::gui
