#pragma once
// The level display: one band per channel (mono or stereo) with green strokes from each point's
// lowest to its highest value, scaled to the channel's peaks, and a red cursor that follows the
// mouse while data is shown and the playback position otherwise. Disabled, it shows only the "no
// level data" text. A click reports where, as a fraction of the width.
#include <QWidget>
#include <vector>

#include "controls/WaveformScale.h"

namespace recdesk::gui {

class WaveformView : public QWidget {
  Q_OBJECT
 public:
  explicit WaveformView(QWidget* parent = nullptr);

  // One or two channels (more are cut to two); each trace keeps at most kMaxLevelPoints points.
  void showData(std::vector<LevelChannel> channels);
  void clearData();
  bool hasData() const { return !channels_.empty(); }
  // The cursor at a fraction (0..1) of the width; negative hides it.
  void setCursorFraction(double fraction);
  double cursorFraction() const { return cursor_; }
  QSize sizeHint() const override { return QSize(400, 90); }

 Q_SIGNALS:
  void clicked(double fraction);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  std::vector<LevelChannel> channels_;
  double cursor_ = -1.0;
  double playback_ = -1.0;
};

}  // namespace recdesk::gui
