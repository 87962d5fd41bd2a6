#pragma once
// The PIN form of a locked recorder: shown (modeless) when the recorder asks for its PIN, the PIN
// box focused; OK hands the PIN to PinUnlock, which checks it, makes the response and sends it. The
// form hides when the response went out and stays when the PIN was refused. Hidden, not destroyed.
#include <QDialog>

#include "operations/PinUnlock.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace recdesk::gui {

class PinDialog : public QDialog {
  Q_OBJECT
 public:
  PinDialog(operations::PinUnlock& unlock, QWidget* parent = nullptr);

  void prompt(const operations::PinPrompt& prompt);

  QLineEdit* pinBox() const { return pin_; }
  QPushButton* okButton() const { return ok_; }

 public Q_SLOTS:
  void accept() override;
  void reject() override;

 private:
  operations::PinUnlock& unlock_;
  QLabel* label_ = nullptr;
  QLineEdit* pin_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace recdesk::gui
