#include "controls/WaveformView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setMinimumHeight(60);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WaveformView::showData(std::vector<LevelChannel> channels) {
  if (channels.size() > 2) channels.resize(2);
  for (auto& c : channels)
    if (c.points.size() > kMaxLevelPoints) c.points.resize(kMaxLevelPoints);
  channels_ = std::move(channels);
  update();
}

void WaveformView::clearData() {
  channels_.clear();
  cursor_ = playback_ = -1.0;
  update();
}

void WaveformView::setCursorFraction(double fraction) {
  if (fraction == playback_) return;
  playback_ = fraction;
  cursor_ = fraction;
  update();
}

void WaveformView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!isEnabled()) {
    p.fillRect(rect(), QColor(128, 128, 128));
    QFont f = font();
    f.setPixelSize(18);
    p.setFont(f);
    p.setPen(QColor(196, 196, 196));
    p.drawText(rect(), Qt::AlignCenter, qtext(TextId::NoLevelData));
    return;
  }
  p.fillRect(rect(), Qt::black);
  if (channels_.empty()) {
    // Enabled without data, a click fetches the level preview of the selected recording.
    p.setPen(QColor(150, 150, 150));
    p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, qtext(TextId::LevelPreviewHint));
    return;
  }
  const auto bands = levelBands(0, height(), static_cast<int>(channels_.size()));
  for (std::size_t c = 0; c < channels_.size() && c < bands.size(); ++c) {
    const LevelBand& band = bands[c];
    p.setPen(QColor(96, 96, 96));
    p.drawLine(0, band.mid, width(), band.mid);
    const LevelChannel& ch = channels_[c];
    const std::size_t n = ch.points.size();
    p.setPen(QColor(0, 255, 0));
    for (std::size_t i = 1; i < n; ++i) {
      const int x = strokeX(width(), n, i);
      p.drawLine(x, lowestY(band, ch, ch.points[i].first), x, highestY(band, ch, ch.points[i].second));
    }
  }
  if (cursor_ >= 0) {
    const int x = static_cast<int>(std::clamp(cursor_, 0.0, 1.0) * (width() - 1));
    p.setPen(QColor(255, 0, 0));
    p.drawLine(x, 0, x, height());
  }
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
  if (!hasData() || width() <= 0) return;
  cursor_ = std::clamp(event->position().x() / width(), 0.0, 1.0);
  update();
}

void WaveformView::leaveEvent(QEvent*) {
  if (cursor_ != playback_) {
    cursor_ = playback_;
    update();
  }
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || width() <= 0) return;
  Q_EMIT clicked(std::clamp(event->position().x() / width(), 0.0, 1.0));
}

}  // namespace recdesk::gui
