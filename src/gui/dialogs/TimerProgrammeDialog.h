#pragma once
// The timer programme window: a row per entry the recorder reported (up to 19, laid out as they
// arrive) with its start and length, the recorder's running clock, what is still to record, the free
// recording time and what is free after the programme, redrawn every 100 ms. OK (offered only while
// something is still to record) writes the programme and arms the timer; Clear clears it. Modeless;
// hidden rather than destroyed. It draws TimerProgramme's model and forwards the user's edits.
#include <QDialog>
#include <QSpinBox>
#include <array>
#include <ctime>
#include <functional>

#include "operations/TimerEntries.h"

class QDateTimeEdit;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QTimer;

namespace recdesk::operations {
class TimerProgramme;
struct TimerProgrammeModel;
}  // namespace recdesk::operations

namespace recdesk::gui {

// A recording length as hours:minutes:seconds, up to 96:59:59.
class DurationSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit DurationSpinBox(QWidget* parent);

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& text, int& pos) const override;
};

class TimerProgrammeDialog : public QDialog {
  Q_OBJECT
 public:
  TimerProgrammeDialog(operations::TimerProgramme& programme, std::function<std::time_t()> wallNow, QWidget* parent);

  // Lays out the rows that arrived, fills them from the model and shows the window.
  void showModel(const operations::TimerProgrammeModel& model);
  // Redraws the clock, the totals, the row numbers and OK (the 100 ms timer calls it).
  void tick();

  int rowsShown() const;
  QDateTimeEdit* startEdit(std::size_t index) const { return rows_[index].start; }
  QSpinBox* lengthEdit(std::size_t index) const { return rows_[index].length; }
  QLabel* rowNumber(std::size_t index) const { return rows_[index].number; }
  QLabel* clockLabel() const { return clock_; }
  QLabel* pendingLabel() const { return pending_; }
  QLabel* freeLabel() const { return free_; }
  QLabel* freeAfterLabel() const { return freeAfter_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* clearButton() const { return clear_; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  struct Row {
    QLabel* number = nullptr;
    QDateTimeEdit* start = nullptr;
    DurationSpinBox* length = nullptr;
  };
  void addRow(std::size_t index);
  void removeRow(std::size_t index);
  void fillRow(std::size_t index, const operations::TimerEntry& entry);
  void rowEdited(std::size_t index);

  operations::TimerProgramme& programme_;
  std::function<std::time_t()> wallNow_;
  std::array<Row, operations::kTimerRows> rows_{};
  QGridLayout* grid_;
  QLabel* clock_;
  QLabel* pending_;
  QLabel* free_;
  QLabel* freeAfter_;
  QPushButton* ok_;
  QPushButton* clear_;
  QTimer* timer_;
};

}  // namespace recdesk::gui
