#include "dialogs/MaintenanceProgressWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {
constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr int kTickMs = 1000;

QString clockText(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(ms, 0) / kMsPerSecond;
  return QStringLiteral("%1:%2:%3")
      .arg(s / kSecondsPerHour)
      .arg((s / kSecondsPerMinute) % kSecondsPerMinute, 2, 10, QChar('0'))
      .arg(s % kSecondsPerMinute, 2, 10, QChar('0'));
}
}  // namespace

MaintenanceProgressWindow::MaintenanceProgressWindow(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowTitle(qtext(TextId::AppName));
  auto* layout = new QVBoxLayout(this);
  heading_ = new QLabel(this);
  heading_->setWordWrap(true);
  heading_->setMinimumWidth(340);
  pass_ = new QLabel(this);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  time_ = new QLabel(this);
  abandon_ = new QPushButton(qtext(TextId::StopWaitingButton), this);
  abandon_->setAutoDefault(false);
  layout->addWidget(heading_);
  layout->addWidget(pass_);
  layout->addWidget(bar_);
  layout->addWidget(time_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(abandon_);
  layout->addLayout(buttons);
  connect(abandon_, &QPushButton::clicked, this, [this] {
    if (onAbandon) onAbandon();
  });
  tick_ = new QTimer(this);
  tick_->setInterval(kTickMs);
  connect(tick_, &QTimer::timeout, this, [this] { drawTime(); });
}

void MaintenanceProgressWindow::reject() {
  // Escape or the close box: the job goes on in the recorder, so it is the same question.
  if (onAbandon) onAbandon();
}

QString MaintenanceProgressWindow::passText() const {
  return pass_->text();
}

void MaintenanceProgressWindow::showProgress(const operations::MaintenanceProgress& p) {
  using operations::MaintenanceJob;
  last_ = p;
  since_.start();
  if (p.job == MaintenanceJob::Format) {
    setWindowTitle(qtext(TextId::FormatTitle));
    heading_->setText(QString::fromStdString(lang::formatText(
        "%s %s.\n%s",
        {lang::text(TextId::FormattingRecorderNamed), p.deviceName, lang::text(TextId::PleaseWait)})));
    pass_->setText(qtext(TextId::BadBlocks) + QStringLiteral(": %1").arg(p.badBlocks));
    bar_->setRange(0, 0);  // the recorder reports no position while formatting
  } else {
    setWindowTitle(qtext(TextId::FlashCheckTitle));
    heading_->setText(QString::fromStdString(p.deviceName) + QStringLiteral("\n") +
                      qtext(TextId::CheckingFlashWait));
    const auto& c = p.check;
    pass_->setText(c.pass > 0 ? QString::fromStdString(lang::format(TextId::PassOfPasses, {c.pass, c.passes}))
                              : QString());
    if (c.total > 0) {
      // The bar counts in int: a total above its range is halved with the position.
      const unsigned shift = c.total > static_cast<std::uint32_t>(INT_MAX) ? 1U : 0U;
      bar_->setRange(0, static_cast<int>(c.total >> shift));
      bar_->setValue(static_cast<int>(std::min(c.position, c.total) >> shift));
    } else {
      bar_->setRange(0, 0);
    }
  }
  drawTime();
  abandon_->setEnabled(p.running);
  if (p.running)
    tick_->start();
  else
    tick_->stop();
}

void MaintenanceProgressWindow::drawTime() {
  const std::int64_t elapsed = last_.elapsedMs + (last_.running ? since_.elapsed() : 0);
  QString time =
      QString::fromStdString(lang::format(TextId::ElapsedTime, {clockText(elapsed).toStdString()}));
  if (last_.job == operations::MaintenanceJob::Check && last_.check.secondsLeft) {
    const double left = *last_.check.secondsLeft - static_cast<double>(since_.elapsed()) / kMsPerSecond;
    const int minutes =
        static_cast<int>(std::ceil(std::max(left, 0.0) / static_cast<double>(kSecondsPerMinute)));
    time += QStringLiteral("   ") + QString::fromStdString(lang::format(TextId::TimeLeftMinutes, {minutes}));
  }
  time_->setText(time);
}

}  // namespace recdesk::gui
