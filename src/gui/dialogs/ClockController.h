#pragma once
// The desktop program's clock and timer commands: owns the recorder clock and the timer programme
// operations and their windows (created on first use, hidden rather than destroyed, disabled while
// the link is down). The clock-difference question and the timer notice are the user interface's
// non-blocking message boxes. MainWindow forwards its menu commands through handle().
#include <QObject>
#include <functional>
#include <memory>

#include "operations/RecorderClock.h"
#include "operations/TimerProgramme.h"

class QWidget;

namespace recdesk::gui {

class ClockDialog;
class GuiSession;
class TimerProgrammeDialog;

class ClockController final : public QObject,
                              public operations::ClockListener,
                              public operations::TimerProgrammeListener,
                              public session::SessionObserver {
  Q_OBJECT
 public:
  // `quit` ends the program (the timer notice's Cancel leaves the recorder armed and quits).
  ClockController(GuiSession& session, QWidget* window, std::function<void()> quit);
  ~ClockController() override;

  // Runs the clock and timer programme commands; false for any other command.
  bool handle(int command);

  operations::RecorderClock& clock() { return *clock_; }
  operations::TimerProgramme& programme() { return *programme_; }
  // The windows, once they were first shown (null before).
  ClockDialog* clockDialog() const { return clockDialog_; }
  TimerProgrammeDialog* programmeDialog() const { return programmeDialog_; }

  // ClockListener
  void onClockShown(const operations::ClockModel& model) override;
  void onClockHidden() override;
  // TimerProgrammeListener
  void onProgrammeChanged(const operations::TimerProgrammeModel& model) override;
  void onProgrammeClosed() override;
  void onQuitRequested() override;
  // SessionObserver
  void onStateChanged() override;

 private:
  GuiSession& session_;
  QWidget* window_;
  std::function<void()> quit_;
  std::unique_ptr<operations::RecorderClock> clock_;
  std::unique_ptr<operations::TimerProgramme> programme_;
  ClockDialog* clockDialog_ = nullptr;
  TimerProgrammeDialog* programmeDialog_ = nullptr;
};

}  // namespace recdesk::gui
