#pragma once
// The application object every widget test needs (made once, on the offscreen platform unless the
// environment names another), and a wait that runs Qt's event loop.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QWidget>
#include <functional>

#include "TestSupport.h"

namespace recdesk::test {

inline QApplication& guiApp() {
  static int argc = 1;
  static char name[] = "test_gui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = [] {
    loadEnglish();
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Runs Qt's events until `done` or `limitMs` passed; returns done().
inline bool processUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::usleep(200);
  }
  return true;
}

// With RECDESK_SCREENSHOT_DIR set (the screenshot run under Xvfb), saves `widget` as `name`.png there.
inline void screenshot(QWidget& widget, const char* name) {
  const QByteArray folder = qgetenv("RECDESK_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  processUntil([] { return false; }, 150);
  widget.grab().save(QString::fromUtf8(folder) + "/" + QString::fromUtf8(name) + ".png");
}

}  // namespace recdesk::test
