#include "dialogs/RestrictionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/CheckableGroupBox.h"
#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {
// The choices' captions in the order of their bits (1, 2, 4 … 256).
constexpr std::array<TextId, 9> kChoiceTexts{
    TextId::RestrictOptions,  TextId::RestrictProfileEditor, TextId::RestrictFormat,
    TextId::RestrictPasswordReset, TextId::RestrictLedTests, TextId::RestrictProfiles,
    TextId::RestrictTimer,    TextId::RestrictDownload,      TextId::RestrictTransmitter};
}  // namespace

RestrictionsDialog::RestrictionsDialog(const app::Restrictions& current, bool reducedVariant,
                                       ports::UserInterface& ui, QWidget* parent)
    : QDialog(parent),
      model_(std::make_unique<app::RestrictionsModel>(current, reducedVariant, ui)),
      group_(new CheckableGroupBox(qtext(TextId::RestrictionsCaption), this)),
      password_(new QPushButton(qtext(TextId::ButtonPassword), this)) {
  setWindowTitle(qtext(TextId::RestrictionsTitle));
  auto* inner = new QVBoxLayout(group_);
  const auto& bits = app::restrictionBits();
  for (std::size_t i = 0; i < choices_.size(); ++i) {
    choices_[i] = new QCheckBox(qtext(kChoiceTexts[i]), group_);
    inner->addWidget(choices_[i]);
    const std::uint32_t bit = bits[i].bit;
    connect(choices_[i], &QCheckBox::clicked, this, [this, bit](bool on) { model_->setChoice(bit, on); });
  }
  group_->setCaptionStyle(CheckableGroupBox::CaptionStyle::CheckBox);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->addButton(password_, QDialogButtonBox::ActionRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group_);
  layout->addWidget(buttons);

  connect(group_, &CheckableGroupBox::captionClicked, this, [this] {
    model_->setActive(group_->check() == 1);
    draw();
  });
  connect(password_, &QPushButton::clicked, this, [this] { model_->changePassword(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &RestrictionsDialog::submit);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  draw();
}

RestrictionsDialog::~RestrictionsDialog() = default;

void RestrictionsDialog::start() {
  QPointer<RestrictionsDialog> self(this);
  model_->open([self](bool opened) {
    if (!self) return;
    if (opened)
      self->open();
    else
      self->deleteLater();
  });
}

void RestrictionsDialog::draw() {
  const auto& m = *model_;
  group_->setCheck(m.active());
  const auto& bits = app::restrictionBits();
  for (std::size_t i = 0; i < choices_.size(); ++i) {
    choices_[i]->setChecked(m.choice(bits[i].bit));
    choices_[i]->setEnabled(m.choiceEnabled(bits[i].bit));
  }
  password_->setEnabled(m.passwordButtonEnabled());
}

void RestrictionsDialog::submit() {
  const auto record = model_->ok();
  if (!record) return;
  Q_EMIT restrictionsChosen(*record);
  accept();
}

}  // namespace recdesk::gui
