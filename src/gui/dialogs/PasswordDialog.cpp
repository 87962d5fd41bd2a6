#include "dialogs/PasswordDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

using Box = operations::PasswordForm::Box;
using Kind = operations::PasswordForm::Kind;

PasswordDialog::PasswordDialog(operations::PasswordChange& change, QWidget* parent)
    : QDialog(parent), change_(change) {
  setModal(false);
  setWindowTitle(qtext(TextId::PasswordDialogTitle));
  auto* layout = new QVBoxLayout(this);
  note_ = new QLabel(qtext(TextId::NewPasswordOnlyNote), this);
  note_->setWordWrap(true);
  layout->addWidget(note_);
  auto* boxes = new QFormLayout;
  const auto makeBox = [this](Box b) {
    auto* edit = new QLineEdit(this);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(4);
    connect(edit, &QLineEdit::textEdited, this, [this, b](const QString& text) { typed(b, text); });
    return edit;
  };
  old_ = makeBox(Box::Old);
  new_ = makeBox(Box::New);
  confirm_ = makeBox(Box::Confirm);
  oldLabel_ = new QLabel(qtext(TextId::OldPasswordLabel), this);
  boxes->addRow(oldLabel_, old_);
  boxes->addRow(qtext(TextId::NewPasswordLabel), new_);
  boxes->addRow(qtext(TextId::ConfirmPasswordLabel), confirm_);
  layout->addLayout(boxes);
  useDefault_ = new QCheckBox(qtext(TextId::UseDefaultPassword), this);
  layout->addWidget(useDefault_);
  connect(useDefault_, &QCheckBox::toggled, this, [this](bool on) {
    if (!form_) return;
    form_->setUseDefault(on);
    drawForm();
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);
  setMinimumWidth(340);
}

QLineEdit* PasswordDialog::box(Box b) const {
  return b == Box::Old ? old_ : b == Box::New ? new_ : confirm_;
}

void PasswordDialog::openForm(Kind kind) {
  form_ = change_.makeForm(kind);
  const bool full = kind == Kind::Full;
  note_->setVisible(!full);
  oldLabel_->setVisible(full);
  old_->setVisible(full);
  {
    const QSignalBlocker block(useDefault_);
    useDefault_->setChecked(false);
  }
  useDefault_->setVisible(full);
  drawForm();
  adjustSize();
  show();
  raise();
  activateWindow();
  (full ? old_ : new_)->setFocus();
}

void PasswordDialog::typed(Box b, const QString& text) {
  if (!form_) return;
  form_->setText(b, text.toStdString());
  // A refused character goes again at once; the caret stays where the typing was.
  const QString kept = QString::fromStdString(form_->text(b));
  QLineEdit* edit = box(b);
  if (kept != text) {
    const int at = std::min<int>(edit->cursorPosition(), static_cast<int>(kept.size()));
    edit->setText(kept);
    edit->setCursorPosition(at);
  }
}

void PasswordDialog::drawForm() {
  for (const Box b : {Box::Old, Box::New, Box::Confirm}) {
    QLineEdit* edit = box(b);
    edit->setText(QString::fromStdString(form_->text(b)));
    edit->setEnabled(form_->enabled(b));
    edit->setEchoMode(form_->masked(b) ? QLineEdit::Password : QLineEdit::Normal);
  }
  ok_->setText(qtext(form_->okCaption()));
}

void PasswordDialog::accept() {
  if (!form_) return;
  const std::string before[] = {form_->text(Box::Old), form_->text(Box::New), form_->text(Box::Confirm)};
  if (change_.submit(*form_)) {
    form_.reset();
    hide();
    return;
  }
  // The model told the user and emptied the box at fault: show it and go there.
  drawForm();
  int at = 0;
  for (const Box b : {Box::Old, Box::New, Box::Confirm}) {
    if (form_->text(b).empty() && (!before[at].empty() || b != Box::Old)) {
      box(b)->setFocus();
      break;
    }
    ++at;
  }
}

void PasswordDialog::reject() {
  change_.cancel();
  form_.reset();
  hide();
}

}  // namespace recdesk::gui
