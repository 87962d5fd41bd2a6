#pragma once
// The main window's profile drop-down, the name of the selected profile and its Apply button: the
// list follows the connected device (operations::ProfileFollower), a choice selects in the store, and
// Apply sends the selected profile's recording type to the recorder.
#include <QObject>
#include <memory>

#include "app/ProfileStore.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace recdesk::operations {
class ProfileFollower;
}

namespace recdesk::gui {

class GuiSession;
class MainWindow;

class ProfileChoice : public QObject {
  Q_OBJECT
 public:
  ProfileChoice(MainWindow& window, GuiSession& session);
  ~ProfileChoice() override;

  app::ProfileStore& store() { return store_; }
  // Loads the list again (after the Options or the editor changed the profiles) and draws it.
  void reload();
  // Draws the store into the drop-down and the name label.
  void draw();
  // Apply (the button calls it).
  void apply();

 private:
  void chosen(int position);

  GuiSession& session_;
  QComboBox* box_;
  QLabel* name_;
  QPushButton* apply_;
  app::ProfileStore store_;
  std::unique_ptr<operations::ProfileFollower> follower_;
};

}  // namespace recdesk::gui
