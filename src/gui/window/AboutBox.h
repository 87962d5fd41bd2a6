#pragma once
// The about box: the program's name, what it is for and its version, with a link to its home.
#include <QDialog>

namespace recdesk::gui {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
  // The text of the box (also what --version prints).
  static QString aboutText();
};

}  // namespace recdesk::gui
