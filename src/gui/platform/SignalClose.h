#pragma once
// SIGTERM, SIGINT and SIGHUP close the main window as its close box does (the recorder gets its
// reset line, the settings their last values), instead of ending the program on the spot.
class QWidget;

namespace recdesk::gui {

// Installs the handlers; `window` is closed on the GUI thread when a signal comes.
void closeOnTerminationSignals(QWidget* window);

}  // namespace recdesk::gui
