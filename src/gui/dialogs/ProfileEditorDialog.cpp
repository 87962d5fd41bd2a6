#include "dialogs/ProfileEditorDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "dialogs/ProfileEditorPrompts.h"
#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {

QComboBox* choiceBox(TextId tip, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setToolTip(qtext(tip));
  box->setMinimumContentsLength(8);
  return box;
}

// Each item carries its value; numbers are shown as they are.
template <typename T>
void fillNumbers(QComboBox* box, const std::vector<T>& values) {
  for (const T v : values) box->addItem(QString::number(v), static_cast<int>(v));
}

}  // namespace

ProfileEditorDialog::ProfileEditorDialog(app::ProfileStore list, int deviceType, std::uint64_t freeBlocks,
                                         int currentItem, QWidget* parent)
    : QDialog(parent),
      store_(std::move(list)),
      prompts_(std::make_unique<ProfileEditorPrompts>(this)),
      model_(std::make_unique<app::ProfileEditor>(store_, *prompts_, deviceType, freeBlocks, currentItem)),
      profile_(choiceBox(TextId::TipEditorProfiles, this)),
      device_(new QLabel(this)),
      estimate_(new QLabel(this)),
      delete_(new QPushButton(qtext(TextId::EditorDeleteButton), this)),
      save_(new QPushButton(qtext(TextId::EditorSaveButton), this)),
      saveAs_(new QPushButton(qtext(TextId::EditorSaveAsButton), this)),
      close_(new QPushButton(this)) {
  setWindowTitle(qtext(TextId::ProfileEditorTitle));
  profile_->setMinimumContentsLength(28);
  device_->setText(qtext(TextId::EditorDeviceLabel) + ' ' + qtext(model_->offer().typeLabel));
  estimate_->setToolTip(qtext(TextId::TipEstimate));
  delete_->setToolTip(qtext(TextId::TipDeleteProfile));
  save_->setToolTip(qtext(TextId::TipSaveProfile));
  saveAs_->setToolTip(qtext(TextId::TipSaveProfileAs));
  close_->setToolTip(qtext(TextId::TipCloseEditor));
  // Enter takes a typed gain; it presses no button.
  for (QPushButton* button : {delete_, save_, saveAs_, close_}) button->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  auto* top = new QFormLayout;
  top->addRow(qtext(TextId::LabelProfile), profile_);
  layout->addLayout(top);
  layout->addWidget(device_);
  auto* groups = new QHBoxLayout;
  groups->addWidget(buildSettings());
  groups->addWidget(buildGain(), 1);
  layout->addLayout(groups);
  layout->addWidget(estimate_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(delete_);
  buttons->addWidget(save_);
  buttons->addWidget(saveAs_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  layout->addLayout(buttons);

  connectControls();
  draw();
}

ProfileEditorDialog::~ProfileEditorDialog() = default;

QWidget* ProfileEditorDialog::buildSettings() {
  auto* group = new QGroupBox(qtext(TextId::EditorSettingsGroup), this);
  auto* form = new QFormLayout(group);
  rate_ = choiceBox(TextId::TipRate, group);
  bits_ = choiceBox(TextId::TipBits, group);
  channels_ = choiceBox(TextId::TipChannels, group);
  const app::ProfileOffer& offer = model_->offer();
  fillNumbers(rate_, offer.rates);
  fillNumbers(bits_, offer.bits);
  for (const auto c : offer.channels) channels_->addItem(QString::fromStdString(app::channelLabel(c)), c);
  form->addRow(qtext(TextId::EditorRateLabel), rate_);
  form->addRow(qtext(TextId::EditorBitsLabel), bits_);
  form->addRow(qtext(TextId::EditorChannelsLabel), channels_);
  return group;
}

QWidget* ProfileEditorDialog::buildGain() {
  auto* group = new QGroupBox(qtext(TextId::EditorGainGroup), this);
  auto* column = new QVBoxLayout(group);
  autoGain_ = new QCheckBox(qtext(TextId::EditorAutoGain), group);
  autoGain_->setToolTip(qtext(TextId::TipAutoGain));
  column->addWidget(autoGain_);
  auto* row = new QHBoxLayout;
  lowest_ = new QLabel(QString::number(app::kLowestFixedGain), group);
  highest_ = new QLabel(QString::number(app::kHighestFixedGain), group);
  slider_ = new QSlider(Qt::Horizontal, group);
  slider_->setRange(app::kLowestFixedGain, app::kHighestFixedGain);
  slider_->setPageStep(4);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setTickInterval(4);
  slider_->setMinimumWidth(160);
  slider_->setToolTip(qtext(TextId::TipGainSlider));
  gainValue_ = new QLineEdit(group);
  // Digits only; the model limits the value to the fixed-gain range.
  gainValue_->setValidator(new QIntValidator(0, 999, gainValue_));
  gainValue_->setMaxLength(3);
  gainValue_->setFixedWidth(gainValue_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
  gainValue_->setToolTip(qtext(TextId::TipGainValue));
  row->addWidget(lowest_);
  row->addWidget(slider_, 1);
  row->addWidget(highest_);
  row->addWidget(gainValue_);
  column->addLayout(row);
  column->addStretch(1);
  return group;
}

void ProfileEditorDialog::connectControls() {
  const auto then = [this](auto change) {
    return [this, change](auto value) {
      change(value);
      draw();
    };
  };
  connect(profile_, &QComboBox::activated, this, then([this](int i) { model_->selectItem(i); }));
  connect(rate_, &QComboBox::activated, this, then([this](int i) { model_->setRateIndex(i); }));
  connect(bits_, &QComboBox::activated, this, then([this](int i) { model_->setBitsIndex(i); }));
  connect(channels_, &QComboBox::activated, this, then([this](int i) { model_->setChannelsIndex(i); }));
  connect(autoGain_, &QCheckBox::clicked, this, then([this](bool on) { model_->setAutoGain(on); }));
  connect(slider_, &QSlider::valueChanged, this, then([this](int v) { model_->setGain(v); }));
  connect(gainValue_, &QLineEdit::editingFinished, this, [this] {
    if (!gainValue_->isEnabled()) return;
    model_->setGain(gainValue_->text().toInt());
    draw();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    model_->deleteSelected();
    draw();
  });
  connect(save_, &QPushButton::clicked, this, [this] {
    model_->save();
    draw();
  });
  connect(saveAs_, &QPushButton::clicked, this, &ProfileEditorDialog::saveAs);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void ProfileEditorDialog::saveAs() {
  // The answer may come much later (the name, a refusal, the overwrite question): the dialog is
  // drawn again then.
  model_->saveAs([this](bool) { draw(); });
}

void ProfileEditorDialog::draw() {
  const app::ProfileEditor& m = *model_;
  const QSignalBlocker blockSlider(slider_);
  {
    const QSignalBlocker block(profile_);
    profile_->clear();
    for (const auto& item : m.items()) profile_->addItem(QString::fromStdString(item.text), item.data);
    profile_->setCurrentIndex(m.selectedItem());
  }
  rate_->setCurrentIndex(m.rateIndex());
  bits_->setCurrentIndex(m.bitsIndex());
  channels_->setCurrentIndex(m.channelsIndex());
  autoGain_->setChecked(m.autoGain());
  autoGain_->setEnabled(m.autoGainEnabled());
  slider_->setValue(m.sliderPosition());
  gainValue_->setText(QString::number(m.sliderPosition()));
  const bool gain = m.gainControlsEnabled();
  for (QWidget* w : std::initializer_list<QWidget*>{slider_, gainValue_, lowest_, highest_}) w->setEnabled(gain);
  estimate_->setText(QString::fromStdString(m.estimateText()));
  const auto b = m.buttons();
  delete_->setEnabled(b.remove);
  save_->setEnabled(b.save);
  saveAs_->setEnabled(b.saveAs);
  close_->setText(QString::fromStdString(m.closeCaption()));
}

}  // namespace recdesk::gui
