#pragma once
// A label whose text has one colour, fixed when it is made, on a transparent background.
#include <QColor>
#include <QLabel>

namespace recdesk::gui {

class ColouredLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ColouredLabel(const QColor& colour, QWidget* parent = nullptr);
  QColor colour() const { return colour_; }

 private:
  QColor colour_;
};

}  // namespace recdesk::gui
