#include "controls/ColouredLabel.h"

namespace recdesk::gui {

ColouredLabel::ColouredLabel(const QColor& colour, QWidget* parent) : QLabel(parent), colour_(colour) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, colour_);
  p.setColor(QPalette::Disabled, QPalette::WindowText, colour_.lighter(160));
  setPalette(p);
  setAutoFillBackground(false);
}

}  // namespace recdesk::gui
