#include "controls/LinkLabel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace recdesk::gui {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  setCursor(Qt::PointingHandCursor);
  setTextInteractionFlags(Qt::NoTextInteraction);
  applyColour();
}

void LinkLabel::applyColour() {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, visited_ ? QColor(128, 0, 128) : QColor(0, 0, 255));
  setPalette(p);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressed_ = true;
    setCursor(Qt::ClosedHandCursor);
  }
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (!pressed_ || event->button() != Qt::LeftButton) return;
  pressed_ = false;
  setCursor(Qt::PointingHandCursor);
  if (!rect().contains(event->position().toPoint())) return;
  const QString target = target_.isEmpty() ? text() : target_;
  if (!QDesktopServices::openUrl(QUrl::fromUserInput(target))) {
    QApplication::beep();
    return;
  }
  visited_ = true;
  applyColour();
}

}  // namespace recdesk::gui
