#pragma once
// The text box of the communications log, with its own context menu: Open Log, Undo, Cut, Copy,
// Paste, Delete and Select All, each enabled when it can act.
#include <QPlainTextEdit>

namespace recdesk::gui {

class LogEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogEdit(QWidget* parent = nullptr);
  // The menu as it stands now (the caller owns it).
  QMenu* buildMenu();

 Q_SIGNALS:
  void openLogRequested();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace recdesk::gui
