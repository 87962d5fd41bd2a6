#include "controls/ElidedLabel.h"

#include <QPainter>

namespace recdesk::gui {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const {
  // Room for a few letters and the ellipsis; the rest is given up when the row is narrow.
  return QSize(fontMetrics().horizontalAdvance(QStringLiteral("Mmm…")), QLabel::minimumSizeHint().height());
}

QString ElidedLabel::shownText() const {
  const QRect room = contentsRect();
  return fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  p.drawText(contentsRect(), static_cast<int>(alignment() | Qt::TextSingleLine), shownText());
}

}  // namespace recdesk::gui
