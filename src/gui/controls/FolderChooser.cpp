#include "controls/FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/GuiTexts.h"
#include "app/PathCheck.h"

namespace recdesk::gui {

namespace {
QString layoutOf(const QString& text, const QString& path, const QString& advice) {
  return advice.isEmpty() ? text + "\n\n" + path : text + "\n\n" + path + "\n\n" + advice;
}
}  // namespace

FolderChooser::FolderChooser(const QString& caption, const QString& prompt, const QString& start, QWidget* parent)
    : QDialog(parent),
      edit_(new QLineEdit(this)),
      tree_(new QTreeView(this)),
      model_(new QFileSystemModel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(prompt, this));
  layout->addWidget(edit_);
  layout->addWidget(tree_, 1);
  layout->addWidget(buttons_);
  edit_->setMaxLength(static_cast<int>(app::kMaxPathLength));

  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  model_->setRootPath(QStringLiteral("/"));
  tree_->setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->header()->hide();
  const QString first = start.isEmpty() ? QDir::currentPath() : start;
  const QModelIndex index = model_->index(first);
  if (index.isValid()) {
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
  }
  edit_->setText(first);
  resize(460, 420);

  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { treeSelected(); });
  connect(edit_, &QLineEdit::textEdited, this,
          [this](const QString& t) { buttons_->button(QDialogButtonBox::Ok)->setEnabled(!t.isEmpty()); });
  connect(buttons_, &QDialogButtonBox::accepted, this, &FolderChooser::submit);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void FolderChooser::treeSelected() {
  const QString p = model_->filePath(tree_->currentIndex());
  edit_->setText(p);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!p.isEmpty());
}

void FolderChooser::showProblem(const QString& text, const QString& path, const QString& advice) {
  auto* box = new QMessageBox(QMessageBox::Warning, qtext(TextId::AppName), layoutOf(text, path, advice),
                              QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this] { edit_->setFocus(); });
  box->open();
}

void FolderChooser::submit() {
  const QString typed = edit_->text();
  const std::string path = typed.toStdString();
  if (!app::checkFolderPath(path).ok()) {
    showProblem(qtext(TextId::InvalidFolderPath), typed, qtext(TextId::EnterFullPath));
    return;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    finishWith(typed);
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Question, qtext(TextId::AppName),
                              layoutOf(qtext(TextId::CreateMissingFolder), typed, QString()),
                              QMessageBox::Yes | QMessageBox::No, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, typed, path](int result) {
    if (result != QMessageBox::Yes) {
      edit_->setFocus();
      return;
    }
    std::filesystem::path failed;
    if (!app::createFolders(path, failed)) {
      showProblem(qtext(TextId::FolderNotCreated), QString::fromStdString(failed.string()), QString());
      return;
    }
    finishWith(typed);
  });
  box->open();
}

void FolderChooser::finishWith(const QString& path) {
  chosen_ = path;
  Q_EMIT folderChosen(path);
  accept();
}

}  // namespace recdesk::gui
