#include "dialogs/TextPrompt.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <memory>

#include "platform/GuiTexts.h"
#include "app/Restrictions.h"

namespace recdesk::gui {

TextPrompt::TextPrompt(const ports::TextQuestion& q, ports::TextReplyHandler done, QWidget* parent)
    : QDialog(parent), kind_(q.kind), done_(std::move(done)), entry_(new QLineEdit(this)) {
  setWindowTitle(QString::fromStdString(q.caption));
  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel(QString::fromStdString(q.prompt), this);
  prompt->setWordWrap(true);
  layout->addWidget(prompt);
  layout->addWidget(entry_);
  entry_->setText(QString::fromStdString(q.initial));
  const bool secret = kind_ == ports::TextKind::Secret || kind_ == ports::TextKind::NewSecret;
  if (secret) entry_->setEchoMode(QLineEdit::Password);
  if (kind_ == ports::TextKind::NewSecret) {
    confirm_ = new QLineEdit(this);
    confirm_->setEchoMode(QLineEdit::Password);
    layout->addWidget(new QLabel(qtext(TextId::ConfirmRestrictionPassword), this));
    layout->addWidget(confirm_);
    // The confirmation follows a password only.
    confirm_->setEnabled(false);
    connect(entry_, &QLineEdit::textChanged, this, [this](const QString& t) { confirm_->setEnabled(!t.isEmpty()); });
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  setMinimumWidth(320);
  connect(buttons, &QDialogButtonBox::accepted, this, &TextPrompt::submit);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(this, &QDialog::rejected, this, [this] {
    if (answered_) return;
    answered_ = true;
    if (done_) done_(std::nullopt);
  });
}

void TextPrompt::submit() {
  const std::string typed = entry_->text().toStdString();
  if (confirm_) {
    if (const auto problem = app::newPasswordProblem(typed, confirm_->text().toStdString())) {
      auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), qtext(*problem), QMessageBox::Ok, this);
      box->setAttribute(Qt::WA_DeleteOnClose);
      connect(box, &QMessageBox::finished, this, [this] { entry_->setFocus(); });
      box->open();
      return;
    }
  }
  answered_ = true;
  accept();
  if (done_) done_(typed);
}

void askTextQuestion(const ports::TextQuestion& q, ports::TextReplyHandler done, QWidget* parent) {
  if (q.kind == ports::TextKind::ExistingFile) {
    auto* files = new QFileDialog(parent, QString::fromStdString(q.caption), QString::fromStdString(q.initial),
                                  QString::fromStdString(q.filter));
    files->setFileMode(QFileDialog::ExistingFile);
    files->setAttribute(Qt::WA_DeleteOnClose);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(files, &QFileDialog::fileSelected, files, [done, answered](const QString& path) {
      *answered = true;
      if (done) done(path.toStdString());
    });
    QObject::connect(files, &QDialog::finished, files, [done, answered](int) {
      if (*answered) return;
      *answered = true;
      if (done) done(std::nullopt);
    });
    files->open();
    return;
  }
  auto* prompt = new TextPrompt(q, std::move(done), parent);
  prompt->setAttribute(Qt::WA_DeleteOnClose);
  prompt->open();
}

}  // namespace recdesk::gui
