#pragma once
// A label that opens a link when clicked: underlined, blue until it was opened once, purple after.
// A target that cannot be opened only beeps.
#include <QLabel>

namespace recdesk::gui {

class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
  // Empty: the label's own text is the target.
  void setTarget(const QString& target) { target_ = target; }
  bool visited() const { return visited_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void applyColour();
  QString target_;
  bool visited_ = false;
  bool pressed_ = false;
};

}  // namespace recdesk::gui
