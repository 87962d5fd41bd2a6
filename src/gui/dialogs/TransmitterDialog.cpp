#include "dialogs/TransmitterDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

using operations::Scrambler;
using operations::TransmitPower;

namespace {
QGroupBox* pairBox(const QString& title, QRadioButton* a, QRadioButton* b, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(box);
  row->addWidget(a);
  row->addWidget(b);
  row->addStretch(1);
  auto* group = new QButtonGroup(box);
  group->addButton(a);
  group->addButton(b);
  return box;
}
}  // namespace

TransmitterDialog::TransmitterDialog(operations::Transmitter& transmitter, QWidget* parent)
    : QDialog(parent), tx_(transmitter) {
  setModal(false);
  setWindowTitle(qtext(TextId::TransmitterTitle));
  auto* layout = new QVBoxLayout(this);
  high_ = new QRadioButton(qtext(TextId::TxPowerHigh));
  low_ = new QRadioButton(qtext(TextId::TxPowerLow));
  scrOn_ = new QRadioButton(qtext(TextId::TxScramblerOn));
  scrOff_ = new QRadioButton(qtext(TextId::TxScramblerOff));
  layout->addWidget(pairBox(qtext(TextId::TxPowerLabel), high_, low_, this));
  layout->addWidget(pairBox(qtext(TextId::TxScramblerLabel), scrOn_, scrOff_, this));
  auto* frequencyRow = new QFormLayout;
  frequency_ = new QLineEdit(this);
  frequency_->setMaxLength(16);
  frequencyRow->addRow(qtext(TextId::TxFrequencyLabel), frequency_);
  layout->addLayout(frequencyRow);
  range_ = new QLabel(this);
  layout->addWidget(range_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Close, this);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  apply_->setDefault(true);
  layout->addWidget(buttons);
  connect(apply_, &QPushButton::clicked, this, &TransmitterDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TransmitterDialog::reject);
  setMinimumWidth(320);
}

QRadioButton* TransmitterDialog::powerButton(TransmitPower p) const {
  return p == TransmitPower::High ? high_ : low_;
}
QRadioButton* TransmitterDialog::scramblerButton(Scrambler s) const {
  return s == Scrambler::On ? scrOn_ : scrOff_;
}

void TransmitterDialog::showValues() {
  const operations::TransmitterValues& v = tx_.values();
  const auto check = [](QRadioButton* a, QRadioButton* b, bool first, bool known) {
    // A value not known leaves both unchecked.
    a->group()->setExclusive(false);
    a->setChecked(known && first);
    b->setChecked(known && !first);
    a->group()->setExclusive(true);
  };
  check(high_, low_, v.power == TransmitPower::High, v.power.has_value());
  check(scrOn_, scrOff_, v.scrambler == Scrambler::On, v.scrambler.has_value());
  scrOn_->setEnabled(v.scramblerAvailable);
  scrOff_->setEnabled(v.scramblerAvailable);
  frequency_->setText(QString::fromStdString(v.frequencyText));
  range_->setText(QString::fromStdString(lang::format(
      TextId::TxRangeText, {operations::frequencyText(v.lowestHz), operations::frequencyText(v.highestHz)})));
  apply_->setEnabled(tx_.applyEnabled());
}

operations::TransmitterForm TransmitterDialog::form() const {
  operations::TransmitterForm f;
  if (high_->isChecked()) f.power = TransmitPower::High;
  if (low_->isChecked()) f.power = TransmitPower::Low;
  if (scrOn_->isChecked()) f.scrambler = Scrambler::On;
  if (scrOff_->isChecked()) f.scrambler = Scrambler::Off;
  f.frequencyText = frequency_->text().toStdString();
  return f;
}

void TransmitterDialog::frequencyRefused() {
  frequency_->clear();
  frequency_->setFocus();
}

void TransmitterDialog::accept() {
  // A refused frequency is told by the model (and comes back as frequencyRefused()). An apply while
  // the last one is still being sent is queued by the model.
  if (!tx_.applyEnabled()) return;
  if (!tx_.apply(form())) frequencyRefused();
}

void TransmitterDialog::reject() {
  tx_.close();
  hide();
}

}  // namespace recdesk::gui
