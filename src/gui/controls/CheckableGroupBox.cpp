#include "controls/CheckableGroupBox.h"

#include <QCheckBox>
#include <QEvent>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace recdesk::gui {

CheckableGroupBox::CheckableGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
  setCaptionStyle(CaptionStyle::CheckBox);
}

void CheckableGroupBox::setCaptionStyle(CaptionStyle style) {
  const bool wasOn = caption_ && caption_->isChecked();
  delete caption_;
  if (style == CaptionStyle::CheckBox)
    caption_ = new QCheckBox(title(), this);
  else
    caption_ = new QRadioButton(title(), this);
  // The caption control replaces the frame's own title text; the frame keeps the room for it.
  caption_->setAutoExclusive(false);
  caption_->setChecked(wasOn);
  caption_->adjustSize();
  placeCaption();
  caption_->setAutoFillBackground(true);
  caption_->show();
  connect(caption_, &QAbstractButton::clicked, this, [this] { captionToggled(); });
  applyState();
}

void CheckableGroupBox::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  placeCaption();
  if (caption_) caption_->raise();
}

void CheckableGroupBox::placeCaption() {
  if (!caption_) return;
  // Over the frame's own title, so that none of its text shows beside the caption control.
  QStyleOptionGroupBox option;
  initStyleOption(&option);
  const QRect label = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
  caption_->move(qMax(0, label.left() - 2), qMax(0, label.center().y() - caption_->height() / 2));
}

int CheckableGroupBox::check() const { return caption_ ? (caption_->isChecked() ? 1 : 0) : -1; }

void CheckableGroupBox::setCheck(bool on) {
  if (!caption_) return;
  caption_->setChecked(on);
  applyState();
}

void CheckableGroupBox::applyState() {
  const bool on = caption_ && caption_->isChecked() && caption_->isEnabled() && isEnabled();
  for (QObject* child : children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w || w == caption_ || !w->isWidgetType() || w->isWindow()) continue;
    if (excluded_.contains(QPointer<QWidget>(w))) continue;
    w->setEnabled(on);
    if (auto* nested = qobject_cast<CheckableGroupBox*>(w)) nested->applyState();
  }
}

void CheckableGroupBox::captionToggled() {
  if (qobject_cast<QRadioButton*>(caption_) && caption_->isChecked() && parentWidget()) {
    for (auto* sibling : parentWidget()->findChildren<CheckableGroupBox*>(Qt::FindDirectChildrenOnly))
      if (sibling != this && sibling->group() == group_) sibling->setCheck(false);
  }
  applyState();
  Q_EMIT captionClicked();
}

void CheckableGroupBox::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) applyState();
}

void CheckableGroupBox::focusInEvent(QFocusEvent* event) {
  QGroupBox::focusInEvent(event);
  if (caption_) caption_->setFocus();
}

}  // namespace recdesk::gui
