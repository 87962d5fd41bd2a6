#include "dialogs/TimerProgrammeDialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"
#include "operations/TimerProgramme.h"

namespace recdesk::gui {

namespace {

constexpr int kRedrawMs = 100;
const QString kStartFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QDateTime toQt(const session::DateTime& t) {
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

session::DateTime fromQt(const QDateTime& t) {
  return session::DateTime{t.date().year(), t.date().month(), t.date().day(),
                           t.time().hour(), t.time().minute(), t.time().second()};
}

QString span(std::int64_t seconds) { return QString::fromStdString(operations::timerSpanText(seconds)); }

}  // namespace

DurationSpinBox::DurationSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(0, static_cast<int>(operations::kMaxTimerDuration));
  setSingleStep(60);
}

QString DurationSpinBox::textFromValue(int value) const { return span(value); }

int DurationSpinBox::valueFromText(const QString& text) const {
  const QStringList parts = text.split(QLatin1Char(':'));
  int seconds = 0;
  for (const QString& p : parts) seconds = seconds * 60 + p.toInt();
  return std::min(seconds, static_cast<int>(operations::kMaxTimerDuration));
}

QValidator::State DurationSpinBox::validate(QString& text, int&) const {
  static const QRegularExpression whole(QStringLiteral("^\\d{1,2}:[0-5]\\d:[0-5]\\d$"));
  static const QRegularExpression partial(QStringLiteral("^\\d{0,2}(:\\d{0,2}){0,2}$"));
  if (whole.match(text).hasMatch() && valueFromText(text) <= maximum()) return QValidator::Acceptable;
  return partial.match(text).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}

TimerProgrammeDialog::TimerProgrammeDialog(operations::TimerProgramme& programme,
                                           std::function<std::time_t()> wallNow, QWidget* parent)
    : QDialog(parent), programme_(programme), wallNow_(std::move(wallNow)) {
  setObjectName(QStringLiteral("timerProgrammeDialog"));
  setWindowTitle(qtext(TextId::TimerProgrammeCaption));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* info = new QFormLayout;
  clock_ = new QLabel(this);
  pending_ = new QLabel(this);
  free_ = new QLabel(this);
  freeAfter_ = new QLabel(this);
  info->addRow(qtext(TextId::TimerRecorderTime), clock_);
  info->addRow(qtext(TextId::TimerStillToRecord), pending_);
  info->addRow(qtext(TextId::TimerFreeTime), free_);
  info->addRow(qtext(TextId::TimerFreeAfter), freeAfter_);
  layout->addLayout(info);

  grid_ = new QGridLayout;
  grid_->addWidget(new QLabel(qtext(TextId::ColumnStart), this), 0, 1);
  grid_->addWidget(new QLabel(qtext(TextId::TimerLength), this), 0, 2);
  layout->addLayout(grid_);
  layout->addStretch(1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  clear_ = buttons->addButton(qtext(TextId::TimerClear), QDialogButtonBox::ResetRole);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(kRedrawMs);
  connect(timer_, &QTimer::timeout, this, &TimerProgrammeDialog::tick);
  connect(ok_, &QPushButton::clicked, this, [this] { programme_.write(); });
  connect(clear_, &QPushButton::clicked, this, [this] { programme_.clear(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
}

int TimerProgrammeDialog::rowsShown() const {
  int n = 0;
  for (const Row& r : rows_) n += r.start != nullptr;
  return n;
}

void TimerProgrammeDialog::addRow(std::size_t index) {
  Row& r = rows_[index];
  const int line = static_cast<int>(index) + 1;
  r.number = new QLabel(QString::number(line), this);
  r.number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  r.start = new QDateTimeEdit(this);
  r.start->setDisplayFormat(kStartFormat);
  r.start->setDateTimeRange(QDateTime(QDate(2000, 1, 1), QTime(0, 0)), QDateTime(QDate(9000, 1, 1), QTime(0, 0)));
  r.length = new DurationSpinBox(this);
  grid_->addWidget(r.number, line, 0);
  grid_->addWidget(r.start, line, 1);
  grid_->addWidget(r.length, line, 2);
  connect(r.start, &QDateTimeEdit::dateTimeChanged, this, [this, index] { rowEdited(index); });
  connect(r.length, &QSpinBox::valueChanged, this, [this, index] { rowEdited(index); });
}

void TimerProgrammeDialog::fillRow(std::size_t index, const operations::TimerEntry& entry) {
  Row& r = rows_[index];
  const QSignalBlocker b1(r.start), b2(r.length);
  // A row being edited keeps what the user typed when the model already holds it.
  if (fromQt(r.start->dateTime()) != entry.start) r.start->setDateTime(toQt(entry.start));
  if (static_cast<std::uint32_t>(r.length->value()) != entry.durationSeconds)
    r.length->setValue(static_cast<int>(entry.durationSeconds));
}

void TimerProgrammeDialog::rowEdited(std::size_t index) {
  const Row& r = rows_[index];
  programme_.editRow(index, operations::TimerEntry{fromQt(r.start->dateTime()), static_cast<std::uint32_t>(r.length->value())});
  tick();
}

void TimerProgrammeDialog::removeRow(std::size_t index) {
  Row& r = rows_[index];
  delete r.number;
  delete r.start;
  delete r.length;
  r = Row{};
}

void TimerProgrammeDialog::showModel(const operations::TimerProgrammeModel& model) {
  for (std::size_t i = 0; i < model.rows.size(); ++i) {
    // A programme read again starts without rows: a row the recorder no longer reports goes.
    if (!model.rows[i]) {
      if (rows_[i].start) removeRow(i);
      continue;
    }
    if (!rows_[i].start) addRow(i);
    fillRow(i, *model.rows[i]);
  }
  setEnabled(model.enabled);
  tick();
  if (!model.visible) return;
  if (!timer_->isActive()) timer_->start();
  if (!isVisible()) {
    show();
    raise();
  }
}

void TimerProgrammeDialog::tick() {
  const auto& model = programme_.model();
  const std::time_t now = wallNow_();
  const operations::TimerTotals totals = model.totals(now);
  clock_->setText(QString::fromStdString(session::clockText(model.recorderNow(now))));
  pending_->setText(span(static_cast<std::int64_t>(totals.pendingSeconds)));
  free_->setText(QString::fromStdString(model.freeText()));
  freeAfter_->setText(QString::fromStdString(model.freeAfterText(now)));
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].number) rows_[i].number->setEnabled(totals.pending[i]);
  ok_->setEnabled(model.okEnabled(now) && !programme_.busy());
  clear_->setEnabled(model.enabled && model.rowCount() > 0 && !programme_.busy());
}

void TimerProgrammeDialog::hideEvent(QHideEvent* event) {
  timer_->stop();
  if (!event->spontaneous()) programme_.closeWindow();
  QDialog::hideEvent(event);
}

}  // namespace recdesk::gui
