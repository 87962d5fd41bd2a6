#pragma once
// The name a profile is saved under: one line, prefilled as the editor asks. A colon typed into it is
// taken out at once (the caret stays where it was) and OK is enabled only while a name is left. It
// opens without a nested event loop; the typed text (nothing when cancelled) goes to `done` once.
#include <QDialog>

#include "ports/UserInterface.h"

class QLineEdit;
class QPushButton;

namespace recdesk::gui {

class ProfileSaveAsDialog : public QDialog {
  Q_OBJECT
 public:
  ProfileSaveAsDialog(const ports::TextQuestion& question, ports::TextReplyHandler done, QWidget* parent);

  QLineEdit* nameBox() const { return name_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void edited(const QString& text);
  void answer(std::optional<std::string> text);

  ports::TextReplyHandler done_;
  QLineEdit* name_;
  QPushButton* ok_ = nullptr;
  bool answered_ = false;
};

}  // namespace recdesk::gui
