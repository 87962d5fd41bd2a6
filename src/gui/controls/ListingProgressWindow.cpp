#include "controls/ListingProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "controls/ColouredLabel.h"

namespace recdesk::gui {

ListingProgressWindow::ListingProgressWindow(QWidget* parent)
    : QDialog(parent),
      heading_(new ColouredLabel(QColor(255, 0, 0), this)),
      bar_(new QProgressBar(this)),
      count_(new QLabel(this)),
      first_(new QLabel(this)),
      second_(new QLabel(this)) {
  auto* layout = new QVBoxLayout(this);
  for (QWidget* w : {static_cast<QWidget*>(heading_), static_cast<QWidget*>(bar_), static_cast<QWidget*>(count_),
                     static_cast<QWidget*>(first_), static_cast<QWidget*>(second_)})
    layout->addWidget(w);
  count_->setAlignment(Qt::AlignCenter);
  setMinimumWidth(320);
}

void ListingProgressWindow::setHeading(const QString& text) { heading_->setText(text); }

void ListingProgressWindow::setProgress(int current, int total) {
  bar_->setRange(0, std::max(total, 1));
  bar_->setValue(std::clamp(current, 0, std::max(total, 1)));
  count_->setText(QString::asprintf("%d of %d", current, total));
}

void ListingProgressWindow::setTexts(const QString& first, const QString& second) {
  first_->setText(first);
  second_->setText(second);
}

}  // namespace recdesk::gui
