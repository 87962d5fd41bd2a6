#include "dialogs/ProfileSaveAsDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ProfileEditor.h"
#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {
// Longer names would not fit the drop-downs (and a settings line is read back into a fixed buffer).
constexpr int kNameLength = 100;
}  // namespace

ProfileSaveAsDialog::ProfileSaveAsDialog(const ports::TextQuestion& q, ports::TextReplyHandler done,
                                         QWidget* parent)
    : QDialog(parent), done_(std::move(done)), name_(new QLineEdit(this)) {
  setWindowTitle(qtext(TextId::ProfileSaveAsTitle));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString(q.prompt), this));
  name_->setMaxLength(kNameLength);
  layout->addWidget(name_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  setMinimumWidth(300);
  connect(name_, &QLineEdit::textChanged, this, &ProfileSaveAsDialog::edited);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (!ok_->isEnabled()) return;  // Enter while no name is left
    accept();
    answer(name_->text().toStdString());
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(this, &QDialog::rejected, this, [this] { answer(std::nullopt); });
  name_->setText(QString::fromStdString(app::withoutColons(q.initial)));
  edited(name_->text());
  name_->selectAll();
}

void ProfileSaveAsDialog::edited(const QString& text) {
  if (text.contains(QLatin1Char(':'))) {
    // The caret keeps its place among the characters that stay.
    const int caret = name_->cursorPosition();
    const int before = static_cast<int>(text.left(caret).count(QLatin1Char(':')));
    name_->setText(QString::fromStdString(app::withoutColons(text.toStdString())));  // edited() again
    name_->setCursorPosition(caret - before);
    return;
  }
  ok_->setEnabled(app::profileNameAcceptable(text.toStdString()));
}

void ProfileSaveAsDialog::answer(std::optional<std::string> text) {
  if (answered_) return;
  answered_ = true;
  if (done_) done_(text);
}

}  // namespace recdesk::gui
