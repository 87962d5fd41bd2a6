#include "controls/TimeRuler.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <ctime>

#include "controls/RulerScale.h"

namespace recdesk::gui {

namespace {
constexpr int kTickBand = 10;

long long secondsOfDay(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec;
}
}  // namespace

TimeRuler::TimeRuler(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TimeRuler::sizeHint() const { return QSize(400, kTickBand + fontMetrics().height() + 8); }

void TimeRuler::setSpan(std::time_t start, std::time_t end) {
  if (end < start) end = start;
  if (hasSpan_ && !durationMode_ && start == start_ && end == end_) return;
  hasSpan_ = true;
  durationMode_ = false;
  start_ = start;
  end_ = end;
  position_ = start;
  update();
}

void TimeRuler::setDuration(long long totalSeconds) {
  if (totalSeconds < 0) totalSeconds = 0;
  if (hasSpan_ && durationMode_ && total_ == totalSeconds) return;
  hasSpan_ = true;
  durationMode_ = true;
  total_ = totalSeconds;
  position_ = 0;
  update();
}

void TimeRuler::setPosition(long long position) {
  if (position == position_) return;
  position_ = position;
  update();
}

void TimeRuler::clear() {
  if (!hasSpan_) return;
  hasSpan_ = false;
  update();
}

QString TimeRuler::leftLabel() const {
  if (!hasSpan_) return {};
  return durationMode_ ? QStringLiteral("00:00:00") : QString::fromStdString(dateEdgeLabel(start_));
}

QString TimeRuler::rightLabel() const {
  if (!hasSpan_) return {};
  return durationMode_ ? QString::fromStdString(durationLabel(total_)) : QString::fromStdString(dateEdgeLabel(end_));
}

QString TimeRuler::centreLabel() const {
  if (!hasSpan_) return {};
  return durationMode_ ? QString::fromStdString(durationLabel(position_))
                       : QString::fromStdString(dateCentreLabel(static_cast<std::time_t>(position_)));
}

void TimeRuler::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Button));
  if (!hasSpan_) return;
  const long long span = durationMode_ ? total_ : static_cast<long long>(end_ - start_);
  const long long startOfDay = durationMode_ ? 0 : secondsOfDay(start_);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  for (const RulerTick& t : rulerTicks(span, startOfDay, width() - 2)) {
    p.drawLine(t.x, 0, t.x, t.height - 1);
    if (t.hour()) p.drawLine(t.x + 1, 0, t.x + 1, t.height - 1);
  }
  const QRect band(0, kTickBand, width(), height() - kTickBand);
  const QColor text = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  p.setPen(text);
  p.drawText(band.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, leftLabel());
  p.drawText(band.adjusted(0, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter, rightLabel());
  const QString centre = centreLabel();
  const int w = fontMetrics().horizontalAdvance(centre) + 12;
  const QRect frame(band.center().x() - w / 2, band.top(), w, band.height());
  QStyleOptionFrame option;
  option.initFrom(this);
  option.rect = frame;
  option.state |= QStyle::State_Sunken;
  option.lineWidth = 1;
  style()->drawPrimitive(QStyle::PE_Frame, &option, &p, this);
  p.setPen(text);
  p.drawText(frame, Qt::AlignCenter, centre);
}

}  // namespace recdesk::gui
