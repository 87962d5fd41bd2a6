#pragma once
// The time ruler under the recording list: tick marks for a span along the top, and three labels
// (start, position in a sunken frame, end). Date mode shows clock times of a recording; duration
// mode counts from zero for the playback. Setting a value only repaints when it changed.
#include <QWidget>
#include <ctime>

namespace recdesk::gui {

class TimeRuler : public QWidget {
  Q_OBJECT
 public:
  explicit TimeRuler(QWidget* parent = nullptr);

  // Date mode; a start later than the end moves the end to the start.
  void setSpan(std::time_t start, std::time_t end);
  // Duration mode over `totalSeconds`.
  void setDuration(long long totalSeconds);
  // Date mode: a time; duration mode: seconds from the start.
  void setPosition(long long position);
  void clear();

  bool durationMode() const { return durationMode_; }
  QString leftLabel() const;
  QString centreLabel() const;
  QString rightLabel() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool hasSpan_ = false;
  bool durationMode_ = false;
  std::time_t start_ = 0;
  std::time_t end_ = 0;
  long long total_ = 0;
  long long position_ = 0;
};

}  // namespace recdesk::gui
