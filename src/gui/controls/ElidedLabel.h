#pragma once
// A one-line label that gives up width to its neighbours: a text longer than the room it gets ends
// in "…" instead of being cut off, and its full text is still its text().
#include <QLabel>

namespace recdesk::gui {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(QWidget* parent = nullptr);
  QSize minimumSizeHint() const override;
  // What is drawn: the text, shortened to the label's width.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace recdesk::gui
