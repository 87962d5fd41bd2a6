#pragma once
// The WAV filter dialog: the WAV file to process, the processing mode and the file to write (its
// name proposed from the input and the mode until the user picks one). Modeless: it reports its
// choice through accepted().
#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace recdesk::gui {

class FilterDialog : public QDialog {
  Q_OBJECT
 public:
  FilterDialog(const QString& folder, QWidget* parent = nullptr);
  std::string input() const;
  std::string output() const;
  int mode() const;
  void setInput(const QString& path);
  QComboBox* modeBox() const { return mode_; }

 private:
  void propose();
  void refreshOk();
  void browseInput();
  void browseOutput();

  QString folder_;
  QLineEdit* input_;
  QComboBox* mode_;
  QLineEdit* output_;
  QPushButton* ok_ = nullptr;
  bool outputChosen_ = false;  // the user picked the output: it is no longer proposed
};

}  // namespace recdesk::gui
