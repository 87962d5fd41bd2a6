#include "dialogs/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "dialogs/AccelerationDialog.h"
#include "controls/FolderChooser.h"
#include "platform/GuiTexts.h"
#include "app/OptionsRules.h"

namespace recdesk::gui {

namespace {
// An edit box's number; text that is no number stands for a value out of every range.
long numberOf(const QLineEdit* edit) {
  bool ok = false;
  const long v = edit->text().trimmed().toLong(&ok);
  return ok ? v : -1;
}
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

OptionsDialog::OptionsDialog(const app::Settings& current, ports::UserInterface& ui, QWidget* parent)
    : QDialog(parent), current_(current), ui_(ui), model_(std::make_unique<app::OptionsModel>(current, ui)) {
  setWindowTitle(qtext(TextId::OptionsTitle));
  build();
  draw();
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::build() {
  link_ = new QComboBox(this);
  for (int i = 0; i < app::kLinkChoiceCount; ++i) link_->addItem(qs(app::linkChoiceText(i)));
  link_->setToolTip(qtext(TextId::TipLink));
  acceleration_ = new QPushButton(qtext(TextId::OptionsBlockSize), this);
  acceleration_->setToolTip(qtext(TextId::TipAcceleration));
  auto* linkLabel = new QLabel(qtext(TextId::OptionsLink), this);
  linkLabel->setToolTip(qtext(TextId::TipLink));

  auto* folders = new QGroupBox(this);
  folders->setToolTip(qtext(TextId::TipFolders));
  download_ = new QLineEdit(folders);
  decode_ = new QLineEdit(folders);
  download_->setReadOnly(true);
  decode_->setReadOnly(true);
  download_->setMinimumWidth(300);
  auto* downloadBrowse = new QPushButton(qtext(TextId::ButtonBrowse), folders);
  auto* decodeBrowse = new QPushButton(qtext(TextId::ButtonBrowse), folders);
  autoConvert_ = new QCheckBox(qtext(TextId::OptionsAutoConvert), folders);
  autoConvert_->setToolTip(qtext(TextId::TipAutoConvert));
  cutByTime_ = new QCheckBox(qtext(TextId::OptionsCutByTime), folders);
  cutByTime_->setToolTip(qtext(TextId::TipCutMinutes));
  minutes_ = new QLineEdit(folders);
  minutes_->setToolTip(qtext(TextId::TipCutMinutes));
  cutBySize_ = new QCheckBox(qtext(TextId::OptionsCutBySize), folders);
  cutBySize_->setToolTip(qtext(TextId::TipCutMib));
  mib_ = new QLineEdit(folders);
  mib_->setToolTip(qtext(TextId::TipCutMib));
  for (QLineEdit* e : {minutes_, mib_}) {
    e->setMaximumWidth(80);
    e->setMaxLength(6);
  }
  auto* grid = new QGridLayout(folders);
  grid->addWidget(new QLabel(qtext(TextId::OptionsDownloadFolder), folders), 0, 0);
  grid->addWidget(download_, 0, 1);
  grid->addWidget(downloadBrowse, 0, 2);
  grid->addWidget(new QLabel(qtext(TextId::OptionsDecodeFolder), folders), 1, 0);
  grid->addWidget(decode_, 1, 1);
  grid->addWidget(decodeBrowse, 1, 2);
  grid->addWidget(autoConvert_, 2, 0, 1, 3);
  grid->addWidget(cutByTime_, 3, 0, 1, 2);
  grid->addWidget(minutes_, 3, 2);
  grid->addWidget(cutBySize_, 4, 0, 1, 2);
  grid->addWidget(mib_, 4, 2);

  useProfile_ = new QCheckBox(qtext(TextId::OptionsUseProfileFile), this);
  profilePath_ = new QLineEdit(this);
  profilePath_->setReadOnly(true);
  profileBrowse_ = new QPushButton(qtext(TextId::ButtonBrowse), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* top = new QGridLayout;
  top->addWidget(linkLabel, 0, 0);
  top->addWidget(link_, 0, 1);
  top->addWidget(acceleration_, 0, 2);
  top->setColumnStretch(1, 1);
  auto* profileRow = new QGridLayout;
  profileRow->addWidget(useProfile_, 0, 0, 1, 2);
  profileRow->addWidget(profilePath_, 1, 0);
  profileRow->addWidget(profileBrowse_, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(folders);
  layout->addLayout(profileRow);
  layout->addWidget(buttons);

  connect(link_, &QComboBox::currentIndexChanged, this, [this](int i) {
    model_->setLinkIndex(i);
    draw();
  });
  connect(acceleration_, &QPushButton::clicked, this, &OptionsDialog::openAcceleration);
  connect(downloadBrowse, &QPushButton::clicked, this, [this] { browseFolder(true); });
  connect(decodeBrowse, &QPushButton::clicked, this, [this] { browseFolder(false); });
  connect(autoConvert_, &QCheckBox::clicked, this, [this](bool on) { model_->setAutoDecode(on); });
  connect(cutByTime_, &QCheckBox::clicked, this, [this](bool on) {
    model_->setCutByTime(on);
    draw();
  });
  connect(cutBySize_, &QCheckBox::clicked, this, [this](bool on) {
    model_->setCutBySize(on);
    draw();
  });
  connect(minutes_, &QLineEdit::textEdited, this, [this] { model_->setMinutes(numberOf(minutes_)); });
  connect(mib_, &QLineEdit::textEdited, this, [this] { model_->setMib(numberOf(mib_)); });
  connect(useProfile_, &QCheckBox::clicked, this, [this](bool on) {
    model_->setUseProfileFile(on);
    draw();
  });
  connect(profileBrowse_, &QPushButton::clicked, this, &OptionsDialog::browseProfileFile);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::submit);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void OptionsDialog::draw() {
  const app::OptionsModel& m = *model_;
  if (link_->currentIndex() != m.linkIndex()) {
    const QSignalBlocker block(link_);
    link_->setCurrentIndex(m.linkIndex());
  }
  acceleration_->setEnabled(m.accelerationEnabled());
  download_->setText(qs(m.downloadFolder()));
  download_->setToolTip(qs(m.downloadFolder()));
  decode_->setText(qs(m.decodeFolder()));
  decode_->setToolTip(qs(m.decodeFolder()));
  autoConvert_->setChecked(m.autoDecode());
  cutByTime_->setChecked(m.cutByTime());
  cutBySize_->setChecked(m.cutBySize());
  minutes_->setText(QString::number(m.minutes()));
  mib_->setText(QString::number(m.mib()));
  minutes_->setEnabled(m.minutesEnabled());
  mib_->setEnabled(m.mibEnabled());
  useProfile_->setChecked(m.useProfileFile());
  profilePath_->setText(qs(m.profilePath()));
  profilePath_->setToolTip(qs(m.profilePath()));
  profilePath_->setEnabled(m.profilePathEnabled());
  profileBrowse_->setEnabled(m.profilePathEnabled());
}

void OptionsDialog::submit() {
  std::string problem;
  std::error_code ec;
  const std::string here = std::filesystem::current_path(ec).string();
  const auto result = model_->ok(current_, here, &problem);
  if (!result) {
    showProblem(qs(problem));
    return;
  }
  Q_EMIT settingsChosen(*result);
  accept();
}

void OptionsDialog::showProblem(const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, qtext(TextId::AppName), text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void OptionsDialog::takeExponent(int exponent) { model_->setExponent(exponent); }

void OptionsDialog::takeDownloadFolder(const QString& path) {
  model_->chooseDownloadFolder(path.toStdString());
  draw();
}

void OptionsDialog::takeDecodeFolder(const QString& path) {
  model_->chooseDecodeFolder(path.toStdString());
  draw();
}

void OptionsDialog::takeProfileFile(const QString& path) {
  model_->chooseProfileFile(path.toStdString());
  draw();
}

void OptionsDialog::openAcceleration() {
  auto* dialog = new AccelerationDialog(model_->exponent(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &AccelerationDialog::exponentChosen, this, &OptionsDialog::takeExponent);
  dialog->open();
}

void OptionsDialog::browseFolder(bool download) {
  const auto& m = *model_;
  auto* chooser = download ? new FolderChooser(qtext(TextId::DownloadFolderTitle), qtext(TextId::DownloadFolderPrompt),
                                               qs(m.downloadFolder()), this)
                           : new FolderChooser(qtext(TextId::DecodeFolderTitle), qtext(TextId::DecodeFolderPrompt),
                                               qs(m.decodeFolder()), this);
  chooser->setAttribute(Qt::WA_DeleteOnClose);
  connect(chooser, &FolderChooser::folderChosen, this, download ? &OptionsDialog::takeDownloadFolder
                                                                : &OptionsDialog::takeDecodeFolder);
  chooser->open();
}

void OptionsDialog::browseProfileFile() {
  QString start = qs(model_->profilePath());
  if (start.isEmpty())
    start = qs(app::programFolderWithSlash(QCoreApplication::applicationFilePath().toStdString())) +
            qtext(TextId::ProfileFiles);
  auto* files = new QFileDialog(this, qtext(TextId::ChooseProfileFile), start,
                                qtext(TextId::ProfileFiles) + QStringLiteral(" (*.ini)"));
  files->setFileMode(QFileDialog::ExistingFile);
  files->setAttribute(Qt::WA_DeleteOnClose);
  connect(files, &QFileDialog::fileSelected, this, &OptionsDialog::takeProfileFile);
  files->open();
}

}  // namespace recdesk::gui
