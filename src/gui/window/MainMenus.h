#pragma once
// The main window's menu bar, built from the language file's captions. Settings holds the profile
// editor and the access restrictions; Recorder holds the timer programme, the password reset and
// the Diagnostics submenu (the recorder variant switches these by their captions).
#include <QMap>
#include <functional>

class QAction;
class QMenuBar;

namespace recdesk::gui {

// Command number -> its action. Every command calls `run` with its number.
QMap<int, QAction*> buildMenus(QMenuBar* bar, const std::function<void(int command)>& run);

}  // namespace recdesk::gui
