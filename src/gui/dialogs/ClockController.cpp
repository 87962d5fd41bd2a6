#include "dialogs/ClockController.h"

#include <QTimer>
#include <QWidget>

#include "dialogs/ClockDialog.h"
#include "window/Commands.h"
#include "window/GuiSession.h"
#include "dialogs/TimerProgrammeDialog.h"
#include "app/Settings.h"

namespace recdesk::gui {

ClockController::ClockController(GuiSession& session, QWidget* window, std::function<void()> quit)
    : QObject(window), session_(session), window_(window), quit_(std::move(quit)) {
  session::Host& host = session_.host();
  clock_ = std::make_unique<operations::RecorderClock>(host, session_.settings());
  programme_ = std::make_unique<operations::TimerProgramme>(host, *clock_);
  clock_->setListener(this);
  programme_->setListener(this);
  // The demo keeps the user's settings file as it is; the answer still counts for this run.
  clock_->setIgnoreRtcWriter([this](bool ignore) {
    return session_.demo() ||
           session_.settingsFile().writeInt(app::keys::kOptions, app::keys::kIgnoreRtc, ignore ? 1 : 0);
  });
  host.addObserver(this);
}

ClockController::~ClockController() {
  session_.host().removeObserver(this);
  programme_->setListener(nullptr);
  clock_->setListener(nullptr);
  // The operations go before their windows (which the main window deletes).
  programme_.reset();
  clock_.reset();
}

bool ClockController::handle(int command) {
  if (command == number(Command::Clock)) {
    clock_->command();
    return true;
  }
  if (command == number(Command::TimerProgramme)) {
    programme_->read();
    return true;
  }
  return false;
}

void ClockController::onClockShown(const operations::ClockModel&) {
  if (!clockDialog_)
    clockDialog_ = new ClockDialog(*clock_, [this] { return session_.host().wallNow(); }, window_);
  clockDialog_->setEnabled(session_.host().recorderConnected());
  clockDialog_->showReading();
}

void ClockController::onClockHidden() {
  if (clockDialog_) clockDialog_->hide();
}

void ClockController::onProgrammeChanged(const operations::TimerProgrammeModel& model) {
  if (!programmeDialog_) {
    if (!model.visible) return;
    programmeDialog_ = new TimerProgrammeDialog(*programme_, [this] { return session_.host().wallNow(); }, window_);
  }
  programmeDialog_->showModel(model);
}

void ClockController::onProgrammeClosed() {
  if (programmeDialog_) programmeDialog_->hide();
}

void ClockController::onQuitRequested() {
  // Not from inside the box's own signal: the window closes on the next turn of the loop.
  if (quit_) QTimer::singleShot(0, this, [this] { quit_(); });
}

void ClockController::onStateChanged() {
  const bool up = session_.host().recorderConnected();
  if (clockDialog_) clockDialog_->setEnabled(up);
  if (programmeDialog_) programmeDialog_->setEnabled(up && programme_->model().enabled);
}

}  // namespace recdesk::gui
