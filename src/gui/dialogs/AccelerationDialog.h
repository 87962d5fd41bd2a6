#pragma once
// The transfer block size: a slider over the exponent 0..8 (it draws app::AccelerationModel), a
// button that restores the default, OK and Cancel. OK emits the chosen exponent.
#include <QDialog>

#include "app/AccelerationModel.h"

class QLabel;
class QSlider;

namespace recdesk::gui {

class AccelerationDialog : public QDialog {
  Q_OBJECT
 public:
  AccelerationDialog(int exponent, QWidget* parent = nullptr);

  QSlider* slider() const { return slider_; }
  int exponent() const { return model_.position(); }
  void restoreDefault();

 Q_SIGNALS:
  void exponentChosen(int exponent);

 private:
  void draw();

  app::AccelerationModel model_;
  QSlider* slider_;
  QLabel* pages_;
};

}  // namespace recdesk::gui
