#pragma once
// The transmitter's modeless form: transmit power, scrambler and carrier frequency as the
// Transmitter model holds them. Enter (or Apply) hands the form to the model, which checks the
// frequency against the transmitter's range and queues the changes; the form shows every later
// reply. Created on first use and hidden, not destroyed, when closed.
#include <QDialog>

#include "operations/Transmitter.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace recdesk::gui {

class TransmitterDialog : public QDialog {
  Q_OBJECT
 public:
  TransmitterDialog(operations::Transmitter& transmitter, QWidget* parent = nullptr);

  // Draws the model's values into the form.
  void showValues();
  // The frequency was refused: the box is emptied and focused.
  void frequencyRefused();
  // The form as the user set it.
  operations::TransmitterForm form() const;

  QLineEdit* frequencyBox() const { return frequency_; }
  QPushButton* applyButton() const { return apply_; }
  QRadioButton* powerButton(operations::TransmitPower p) const;
  QRadioButton* scramblerButton(operations::Scrambler s) const;

 public Q_SLOTS:
  void accept() override;  // Enter: apply, the form stays
  void reject() override;  // Escape or close: the form is hidden

 private:
  operations::Transmitter& tx_;
  QRadioButton* high_ = nullptr;
  QRadioButton* low_ = nullptr;
  QRadioButton* scrOn_ = nullptr;
  QRadioButton* scrOff_ = nullptr;
  QLineEdit* frequency_ = nullptr;
  QLabel* range_ = nullptr;
  QPushButton* apply_ = nullptr;
};

}  // namespace recdesk::gui
