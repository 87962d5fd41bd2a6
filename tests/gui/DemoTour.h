#pragma once
// The desktop program on its own demo recorder, driven as a user drives it: menu items chosen,
// windows found as they open and left with Escape (the dialog tour and the link tests share it).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <memory>
#include <string>

#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "SimLink.h"
#include "window/CommsLogWindow.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

namespace recdesk::test {

inline constexpr int kWaitMs = 30000;

struct TourOptions {
  const char* model = "R5";
  bool locked = false;
  bool armed = false;
  long long clockOffset = 0;
};

using gui::Command;
using gui::GuiOptions;
using gui::GuiSession;
using gui::MainWindow;

class Tour {
 public:
  explicit Tour(const TourOptions& o) {
    guiApp();
    // No guide document is installed for the tests.
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir_ / "data-dirs").c_str(), 1);
    GuiOptions options = demoOptions(dir_);
    options.demoModel = o.model;
    options.demoLocked = o.locked;
    options.demoTimerArmed = o.armed;
    options.demoClockOffset = o.clockOffset;
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
    window->show();
    session->start();
  }
  ~Tour() {
    window.reset();
    session.reset();
  }

  bool connected() { return processUntil([&] { return session->host().info().chainComplete; }, kWaitMs); }
  bool idle() {
    return processUntil(
        [&] {
          const auto& s = session->host().state();
          return s.connected && !s.downloading && !s.formatting && !s.scanning && !s.checking && !s.previewing;
        },
        kWaitMs);
  }

  // The transmitter has answered and the link speed is agreed (a transmitter runs no query chain).
  bool transmitterSettled() {
    return processUntil(
        [&] {
          return enabled(Command::Transmitter) && session->host().info().versionKnown &&
                 !session->host().sending();
        },
        kWaitMs);
  }

  QAction* item(Command c) const { return window->action(c); }
  // An item a user can reach: it and every menu it sits in are enabled.
  bool enabled(Command c) const { return reachable(item(c)); }
  static bool reachable(QAction* a) {
    if (!a || !a->isEnabled()) return false;
    for (QObject* owner : a->associatedObjects())
      if (auto* menu = qobject_cast<QMenu*>(owner); menu && !reachable(menu->menuAction())) return false;
    return true;
  }

  // Chooses `c` from its menu, as a click on an enabled item does; false when the item is disabled.
  bool choose(Command c) {
    if (!enabled(c)) return false;
    item(c)->trigger();
    return true;
  }

  // Chooses `c` and returns the window it opened (null when none came).
  QWidget* open(Command c, int waitMs = 10000) {
    const QSet<QWidget*> before = shownWindows();
    if (!choose(c)) return nullptr;
    return waitForNewWindow(before, waitMs);
  }

  QWidget* waitForNewWindow(const QSet<QWidget*>& before, int waitMs = 10000) const {
    QWidget* found = nullptr;
    processUntil(
        [&] {
          for (QWidget* w : shownWindows())
            if (!before.contains(w)) found = w;
          return found != nullptr;
        },
        waitMs);
    return found;
  }

  // The windows shown now, the main window and the log window aside.
  QSet<QWidget*> shownWindows() const {
    QSet<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w != window.get() && w != window->logWindow()) out.insert(w);
    return out;
  }

  std::size_t linesSent(const std::string& line) const {
    std::size_t n = 0;
    for (const auto& l : session->demoLink()->hostLines()) n += l == line;
    return n;
  }

  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

 private:
  TempDir dir_;
};

// Closes `w` with the Escape key, as a user leaves a window; true when it went.
inline bool escape(QWidget* w) {
  if (!w) return false;
  const QPointer<QWidget> window(w);  // a window that deletes itself on closing may be gone after
  QWidget* target = w->focusWidget() ? w->focusWidget() : w;
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  return processUntil([&] { return !window || !window->isVisible(); }, 5000);
}

// Chooses `c` on the tour and leaves the window it opened with Escape: false when none opened or it
// stayed open.
inline bool opensAndLeaves(Tour& tour, Command c) {
  QWidget* w = tour.open(c);
  return w && escape(w);
}

inline QMessageBox* asBox(QWidget* w) { return qobject_cast<QMessageBox*>(w); }

inline QString boxText(QWidget* w) { return asBox(w) ? asBox(w)->text() : QString(); }

inline void clickButton(QWidget* box, QMessageBox::StandardButton which) {
  ASSERT_NE(asBox(box), nullptr);
  ASSERT_NE(asBox(box)->button(which), nullptr);
  asBox(box)->button(which)->click();
}

// No text of `w`'s labels and buttons is cut: each gets at least the width its text needs.
inline void expectNothingClipped(QWidget* w) {
  for (QWidget* child : w->findChildren<QWidget*>()) {
    if (!child->isVisible()) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(child); b && !b->text().isEmpty()) {
      EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
    }
  }
}


}  // namespace recdesk::test
