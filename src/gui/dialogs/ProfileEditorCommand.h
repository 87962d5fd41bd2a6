#pragma once
// The device profile editor command of the main window: opens the editor on a copy of the window's
// profile list with the connected device type, the recorder's free space and the window's selection;
// when it closes, the edited list is saved, the window's list loaded again and its profile chosen again.
#include <QObject>

namespace recdesk::gui {

class GuiSession;
class ProfileChoice;
class ProfileEditorDialog;

class ProfileEditorCommand : public QObject {
  Q_OBJECT
 public:
  ProfileEditorCommand(QWidget* window, GuiSession& session, ProfileChoice& profiles);

  // Opens the editor (raises it when it is open already).
  void open();
  // The open editor, or null.
  ProfileEditorDialog* dialog() const { return dialog_; }

 private:
  void finish();

  QWidget* window_;
  GuiSession& session_;
  ProfileChoice& profiles_;
  ProfileEditorDialog* dialog_ = nullptr;
};

}  // namespace recdesk::gui
