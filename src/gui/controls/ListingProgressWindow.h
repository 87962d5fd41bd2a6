#pragma once
// The modeless window that follows the reading of the recording list: a red heading, a bar,
// "current of total" and two free texts set by the listing.
#include <QDialog>

class QLabel;
class QProgressBar;

namespace recdesk::gui {

class ListingProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ListingProgressWindow(QWidget* parent = nullptr);
  void setHeading(const QString& text);
  void setProgress(int current, int total);
  void setTexts(const QString& first, const QString& second);

 private:
  QLabel* heading_;
  QProgressBar* bar_;
  QLabel* count_;
  QLabel* first_;
  QLabel* second_;
};

}  // namespace recdesk::gui
