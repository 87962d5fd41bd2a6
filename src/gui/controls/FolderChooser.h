#pragma once
// The folder chooser of the Options dialog: a folder tree and a box that takes a typed path. OK
// checks the path (app::checkFolderPath); a bad path is refused with a message and the focus goes
// back to the box; a missing folder is offered for creation, made one folder after the other.
// Message boxes open without a nested event loop: the chooser waits in its own state.
#include <QDialog>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTreeView;

namespace recdesk::gui {

class FolderChooser : public QDialog {
  Q_OBJECT
 public:
  // `start`: the folder shown first (empty: the current folder).
  FolderChooser(const QString& caption, const QString& prompt, const QString& start, QWidget* parent = nullptr);

  QString path() const { return chosen_; }
  QLineEdit* pathEdit() const { return edit_; }
  // The OK step for the path in the box (the OK button calls it).
  void submit();

 Q_SIGNALS:
  void folderChosen(const QString& path);

 private:
  void treeSelected();
  void finishWith(const QString& path);
  void showProblem(const QString& text, const QString& path, const QString& advice);

  QLineEdit* edit_;
  QTreeView* tree_;
  QFileSystemModel* model_;
  QDialogButtonBox* buttons_;
  QString chosen_;
};

}  // namespace recdesk::gui
