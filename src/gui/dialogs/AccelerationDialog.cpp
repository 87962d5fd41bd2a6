#include "dialogs/AccelerationDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

AccelerationDialog::AccelerationDialog(int exponent, QWidget* parent)
    : QDialog(parent), model_(exponent), slider_(new QSlider(Qt::Horizontal, this)), pages_(new QLabel(this)) {
  setWindowTitle(qtext(TextId::AccelerationTitle));
  slider_->setRange(app::AccelerationModel::minimum(), app::AccelerationModel::maximum());
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setTickInterval(1);
  slider_->setPageStep(1);
  slider_->setToolTip(qtext(TextId::TipAcceleration));
  auto* restore = new QPushButton(qtext(TextId::AccelerationDefault), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* row = new QHBoxLayout;
  row->addWidget(pages_, 1);
  row->addWidget(restore);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(slider_);
  layout->addLayout(row);
  layout->addWidget(buttons);
  setMinimumWidth(320);

  connect(slider_, &QSlider::valueChanged, this, [this](int v) {
    model_.setPosition(v);
    draw();
  });
  connect(restore, &QPushButton::clicked, this, &AccelerationDialog::restoreDefault);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    Q_EMIT exponentChosen(model_.position());
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  draw();
}

void AccelerationDialog::restoreDefault() {
  model_.restoreDefault();
  draw();
}

void AccelerationDialog::draw() {
  if (slider_->value() != model_.position()) {
    const QSignalBlocker block(slider_);
    slider_->setValue(model_.position());
  }
  pages_->setText(qtext(TextId::AccelerationPages) + ' ' + QString::number(model_.count()));
}

}  // namespace recdesk::gui
