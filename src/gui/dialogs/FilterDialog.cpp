#include "dialogs/FilterDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "platform/GuiTexts.h"
#include "audio/WavFilter.h"
#include "playback/PlayerMath.h"

namespace recdesk::gui {

namespace {
constexpr int kModes = 7;

QString wavFilters() {
  return qtext(TextId::WavFiles) + QStringLiteral(" (*.wav *.WAV);;") + qtext(TextId::AllFiles) + QStringLiteral(" (*)");
}
}  // namespace

FilterDialog::FilterDialog(const QString& folder, QWidget* parent)
    : QDialog(parent), folder_(folder), input_(new QLineEdit(this)), mode_(new QComboBox(this)), output_(new QLineEdit(this)) {
  setWindowTitle(qtext(TextId::FilterDialogTitle));
  setObjectName(QStringLiteral("filterDialog"));
  input_->setObjectName(QStringLiteral("filterInput"));
  mode_->setObjectName(QStringLiteral("filterMode"));
  output_->setObjectName(QStringLiteral("filterOutput"));
  auto* form = new QFormLayout;
  const auto withBrowse = [this](QLineEdit* edit, auto browse) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    auto* button = new QPushButton(qtext(TextId::ButtonBrowse), this);
    connect(button, &QPushButton::clicked, this, browse);
    row->addWidget(button);
    return row;
  };
  form->addRow(qtext(TextId::FilterInputLabel), withBrowse(input_, [this] { browseInput(); }));
  for (int m = 0; m < kModes; ++m) mode_->addItem(qtext(audio::filterModeText(m)));
  form->addRow(qtext(TextId::FilterModeLabel), mode_);
  form->addRow(qtext(TextId::FilterOutputLabel), withBrowse(output_, [this] { browseOutput(); }));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(input_, &QLineEdit::textChanged, this, [this] { propose(); });
  connect(mode_, &QComboBox::currentIndexChanged, this, [this] { propose(); });
  connect(output_, &QLineEdit::textEdited, this, [this] {
    outputChosen_ = true;
    refreshOk();
  });
  setMinimumWidth(520);
  refreshOk();
}

std::string FilterDialog::input() const { return input_->text().trimmed().toStdString(); }
std::string FilterDialog::output() const { return output_->text().trimmed().toStdString(); }
int FilterDialog::mode() const { return mode_->currentIndex(); }
void FilterDialog::setInput(const QString& path) { input_->setText(path); }

void FilterDialog::propose() {
  if (!outputChosen_) {
    const bool wav = playback::mediaKindFor(input()) == playback::MediaKind::Wav;
    output_->setText(wav ? QString::fromStdString(audio::proposedFilterOutput(input(), mode())) : QString());
  }
  refreshOk();
}

void FilterDialog::refreshOk() {
  // Only a WAV file goes on.
  const bool wav = playback::mediaKindFor(input()) == playback::MediaKind::Wav;
  ok_->setEnabled(wav && !output().empty());
}

void FilterDialog::browseInput() {
  auto* dialog = new QFileDialog(this, qtext(TextId::FilterDialogTitle), input_->text().isEmpty() ? folder_ : input_->text());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilter(wavFilters());
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& f) { input_->setText(f); });
  dialog->open();
}

void FilterDialog::browseOutput() {
  auto* dialog = new QFileDialog(this, qtext(TextId::FilterDialogTitle), output_->text());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix(QStringLiteral("wav"));
  dialog->setNameFilter(wavFilters());
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& f) {
    outputChosen_ = true;
    output_->setText(f);
    refreshOk();
  });
  dialog->open();
}

}  // namespace recdesk::gui
