#include "dialogs/PinDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {
constexpr int kPinDigits = 4;
}

PinDialog::PinDialog(operations::PinUnlock& unlock, QWidget* parent) : QDialog(parent), unlock_(unlock) {
  setModal(false);
  setWindowTitle(qtext(TextId::PinDialogTitle));
  auto* layout = new QVBoxLayout(this);
  label_ = new QLabel(this);
  label_->setWordWrap(true);
  pin_ = new QLineEdit(this);
  pin_->setEchoMode(QLineEdit::Password);
  pin_->setMaxLength(kPinDigits);
  layout->addWidget(label_);
  layout->addWidget(pin_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(qtext(TextId::PinUnlockButton));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &PinDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PinDialog::reject);
  setMinimumWidth(300);
}

void PinDialog::prompt(const operations::PinPrompt& p) {
  label_->setText(QString::fromStdString(lang::format(TextId::PinLabel, {p.deviceName})));
  // A prompt repeated while the form is up leaves what the user is typing alone.
  if (isVisible()) return;
  pin_->clear();
  show();
  raise();
  activateWindow();
  pin_->setFocus();
}

void PinDialog::accept() {
  // A refused PIN has been told by the model; the form stays for another try.
  if (unlock_.submit(pin_->text().toStdString())) {
    pin_->clear();
    hide();
    return;
  }
  pin_->selectAll();
  pin_->setFocus();
}

void PinDialog::reject() {
  // The recorder stays locked; its next prompt shows the form again.
  pin_->clear();
  hide();
}

}  // namespace recdesk::gui
