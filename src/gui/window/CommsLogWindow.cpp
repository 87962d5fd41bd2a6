#include "window/CommsLogWindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/GuiTexts.h"
#include "controls/LogEdit.h"
#include "link/CommsLog.h"

namespace recdesk::gui {

namespace {
QString forDisplay(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.remove(QLatin1Char('\r'));
  return s;
}
}  // namespace

CommsLogWindow::CommsLogWindow(link::CommsLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log), edit_(new LogEdit(this)) {
  setWindowTitle(qtext(TextId::CommsLogTitle));
  setObjectName(QStringLiteral("commsLog"));
  edit_->setObjectName(QStringLiteral("commsLogText"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit_);
  edit_->setReadOnly(true);
  setMinimumSize(288, 100);
  edit_->setPlainText(forDisplay(log_.shownText()));
  shownLength_ = log_.shownText().size();
  log_.setListener([this](const std::string& text, std::size_t erased) { appended(text, erased); });
  connect(edit_, &LogEdit::openLogRequested, this, &CommsLogWindow::openLog);
}

CommsLogWindow::~CommsLogWindow() { log_.setListener({}); }

void CommsLogWindow::appended(const std::string& text, std::size_t erased) {
  const std::string& shown = log_.shownText();
  // Plain growth is appended; an erase or a trim of the log's text redraws it all.
  if (erased == 0 && shown.size() == shownLength_ + text.size()) {
    QTextCursor cursor = edit_->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(forDisplay(text));
  } else {
    edit_->setPlainText(forDisplay(shown));
  }
  shownLength_ = shown.size();
  edit_->moveCursor(QTextCursor::End);
  edit_->ensureCursorVisible();
}

void CommsLogWindow::openLog() {
  const std::filesystem::path file = log_.currentFile();
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, qtext(TextId::AppName),
                                QString::fromStdString(lang::format(TextId::LogFileMissing, {file.string()})),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

void CommsLogWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void CommsLogWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Q_EMIT visibilityChanged(true);
}

void CommsLogWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // A minimised main window hides its log window too; that is not the user's choice.
  if (!event->spontaneous()) Q_EMIT visibilityChanged(false);
}

}  // namespace recdesk::gui
