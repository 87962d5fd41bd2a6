#pragma once
// The modeless progress window of a format or flash check: the device, the pass ("2 of 4"), a bar,
// the time it has run and the estimate, and a button to stop waiting for the recorder's end (the
// maintenance asks the user first). It draws a MaintenanceProgress and forwards that one action.
#include <QDialog>
#include <QElapsedTimer>
#include <functional>

#include "operations/Maintenance.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace recdesk::gui {

class MaintenanceProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MaintenanceProgressWindow(QWidget* parent = nullptr);

  void showProgress(const operations::MaintenanceProgress& progress);
  // The stop-waiting button (and the close box) call this.
  std::function<void()> onAbandon;

  QPushButton* abandonButton() const { return abandon_; }
  QProgressBar* bar() const { return bar_; }
  QString passText() const;

 protected:
  void reject() override;

 private:
  // The running time goes on between the recorder's lines (a format sends none until its end).
  void drawTime();

  operations::MaintenanceProgress last_;
  QElapsedTimer since_;
  QTimer* tick_ = nullptr;
  QLabel* heading_ = nullptr;
  QLabel* pass_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* time_ = nullptr;
  QPushButton* abandon_ = nullptr;
};

}  // namespace recdesk::gui
