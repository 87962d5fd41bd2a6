#include "controls/ConversionProgressWindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace recdesk::gui {

ConversionProgressWindow::ConversionProgressWindow(QWidget* parent)
    : QDialog(parent), caption_(new QLabel(this)), bar_(new QProgressBar(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  layout->addWidget(bar_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  setObjectName(QStringLiteral("conversionProgress"));
  bar_->setRange(0, 1000);
  setMinimumWidth(360);
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { cancelled_ = true; });
}

void ConversionProgressWindow::showProgress(const QString& caption, std::uint64_t done, std::uint64_t total) {
  setWindowTitle(caption);
  caption_->setText(caption);
  // Permille, so that totals beyond the bar's int range still move it.
  const int value = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * 1000 / total);
  bar_->setValue(value);
  if (!isVisible()) show();
}

void ConversionProgressWindow::finish() {
  hide();
  cancelled_ = false;
}


}  // namespace recdesk::gui
