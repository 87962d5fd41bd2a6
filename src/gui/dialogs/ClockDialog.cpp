#include "dialogs/ClockDialog.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"
#include "operations/RecorderClock.h"
#include "session/Replies.h"

namespace recdesk::gui {

namespace {

constexpr int kClockRedrawMs = 200;
const QString kPickerFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString clockString(const session::DateTime& t) { return QString::fromStdString(session::clockText(t)); }

QDateTime toQt(const session::DateTime& t) {
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

}  // namespace

ClockDialog::ClockDialog(operations::RecorderClock& clock, std::function<std::time_t()> wallNow, QWidget* parent)
    : QDialog(parent), clock_(clock), wallNow_(std::move(wallNow)) {
  setObjectName(QStringLiteral("clockDialog"));
  setWindowTitle(qtext(TextId::ClockCaption));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* clocks = new QFormLayout;
  recorder_ = new QLabel(this);
  computer_ = new QLabel(this);
  for (QLabel* l : {recorder_, computer_}) {
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    l->setFont(f);
  }
  clocks->addRow(qtext(TextId::ClockCaption) + QStringLiteral(":"), recorder_);
  clocks->addRow(qtext(TextId::ComputerClock) + QStringLiteral(":"), computer_);
  layout->addLayout(clocks);

  auto* setting = new QGroupBox(qtext(TextId::SetRecorderClock), this);
  auto* settingLayout = new QVBoxLayout(setting);
  useComputer_ = new QCheckBox(qtext(TextId::UseComputerClock), setting);
  picker_ = new QDateTimeEdit(setting);
  picker_->setDisplayFormat(kPickerFormat);
  picker_->setCalendarPopup(true);
  // The range the recorder accepts.
  picker_->setDateTimeRange(QDateTime(QDate(2000, 1, 1), QTime(0, 0)), QDateTime(QDate(9000, 1, 1), QTime(0, 0)));
  set_ = new QPushButton(qtext(TextId::SetRecorderClock), setting);
  settingLayout->addWidget(useComputer_);
  settingLayout->addWidget(picker_);
  settingLayout->addWidget(set_);
  layout->addWidget(setting);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(kClockRedrawMs);
  connect(timer_, &QTimer::timeout, this, &ClockDialog::tick);
  connect(useComputer_, &QCheckBox::toggled, this, [this](bool on) {
    clock_.setUseComputerClock(on);
    picker_->setEnabled(!on);
    if (!on) picker_->setDateTime(toQt(clock_.computerNow()));
  });
  connect(set_, &QPushButton::clicked, this, &ClockDialog::setClock);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
}

void ClockDialog::showReading() {
  const QSignalBlocker block(useComputer_);
  useComputer_->setChecked(clock_.model().useComputerClock);
  picker_->setEnabled(!clock_.model().useComputerClock);
  if (!isVisible()) picker_->setDateTime(toQt(clock_.computerNow()));
  tick();
  if (!timer_->isActive()) timer_->start();
  show();
  raise();
}

void ClockDialog::tick() {
  recorder_->setText(clockString(clock_.model().recorderNow(wallNow_())));
  computer_->setText(clockString(clock_.computerNow()));
  // While this computer's clock is the one set, the picker shows it.
  if (useComputer_->isChecked()) picker_->setDateTime(toQt(clock_.computerNow()));
}

void ClockDialog::setClock() {
  if (useComputer_->isChecked()) {
    clock_.setToComputerClock();
    return;
  }
  const QDateTime t = picker_->dateTime();
  clock_.set(session::DateTime{t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
                               t.time().second()});
}

void ClockDialog::hideEvent(QHideEvent* event) {
  timer_->stop();
  // A hide of the window's own (Close, Escape, its close box) tells the clock; the session's own
  // hide has already done so.
  if (!event->spontaneous()) clock_.closeWindow();
  QDialog::hideEvent(event);
}

}  // namespace recdesk::gui
