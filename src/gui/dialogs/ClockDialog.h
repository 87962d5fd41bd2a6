#pragma once
// The clock window: the recorder's clock running on from its last reading and this computer's clock,
// both redrawn every 200 ms, and the recorder's clock set either to this computer's clock or to the
// date and time picked. Modeless; hidden rather than destroyed. It draws RecorderClock's model and
// forwards the user's actions to it.
#include <QDialog>
#include <ctime>
#include <functional>

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QTimer;

namespace recdesk::operations {
class RecorderClock;
}

namespace recdesk::gui {

class ClockDialog : public QDialog {
  Q_OBJECT
 public:
  // `wallNow` is this computer's clock as the session reads it.
  ClockDialog(operations::RecorderClock& clock, std::function<std::time_t()> wallNow, QWidget* parent);

  // Shows the window with the model's latest reading.
  void showReading();
  // Redraws both clocks (the 200 ms timer calls it).
  void tick();

  QLabel* recorderClockLabel() const { return recorder_; }
  QLabel* computerClockLabel() const { return computer_; }
  QCheckBox* useComputerClockBox() const { return useComputer_; }
  QDateTimeEdit* picker() const { return picker_; }
  QPushButton* setButton() const { return set_; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void setClock();

  operations::RecorderClock& clock_;
  std::function<std::time_t()> wallNow_;
  QLabel* recorder_;
  QLabel* computer_;
  QCheckBox* useComputer_;
  QDateTimeEdit* picker_;
  QPushButton* set_;
  QTimer* timer_;
};

}  // namespace recdesk::gui
