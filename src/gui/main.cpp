// recdesk: the desktop program. --help and --version need no display: the command line is read
// before the application object is made.
#include <QApplication>
#include <QIcon>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <locale>
#include <string>
#include <unistd.h>

#include "window/GuiSession.h"
#include "window/MainWindow.h"
#include "dialogs/SettingsCommands.h"
#include "controls/PlayerButton.h"
#include "platform/SignalClose.h"
#include "platform/SingleInstance.h"
#include "app/Version.h"
#include "SimRecorder.h"
#include "app/VersionText.h"
#include "lang/LanguageChoice.h"
#include "lang/Strings.h"

namespace {

constexpr const char* kUsage =
    "Usage: recdesk [--demo [--demo-model M] [--demo-clock-off] [--demo-timer-armed] [--demo-locked]] [--help] [--version]\n"
    "\n"
    "The desktop program for the R5 and R6 recorders and the T7 transmitter.\n"
    "\n"
    "  --demo              run on the built-in simulated recorder (no recorder needed)\n"
    "  --demo-model M      the simulated device: R5 (default), R6, R5U (the reduced variant) or T7\n"
    "                      (the transmitter); implies --demo\n"
    "  --demo-clock-off    the simulated recorder's clock runs 2 minutes ahead (implies --demo)\n"
    "  --demo-locked       the simulated recorder starts locked with PIN 1234; the demo's own invented PIN\n"
    "                      table is written beside the demo's files and named for this run (implies --demo)\n"
    "  --demo-timer-armed  the simulated recorder starts with its timer armed (implies --demo)\n"
    "  --help              show this text and end\n"
    "  --version           show the version and end\n"
    "\n"
    "Only one copy runs at a time: a second start brings the running window forward.\n";

std::string versionLine() {
  using namespace recdesk::app;
  return "RecDesk " + versionText(kVersionMajor, kVersionMinor, kVersionPatch, kVersionBuild);
}

QString serverName() { return QStringLiteral("recdesk-%1").arg(getuid()); }

}  // namespace

int main(int argc, char** argv) {
  bool demo = false;
  long long demoClockOffset = 0;
  bool demoTimerArmed = false;
  std::string demoModel = "R5";
  bool demoLocked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version" || arg == "-V") {
      std::printf("%s\n", versionLine().c_str());
      return 0;
    }
    if (arg == "--demo") {
      demo = true;
      continue;
    }
    if (arg == "--demo-model") {
      if (i + 1 >= argc || !recdesk::sim::parseModel(argv[i + 1])) {
        std::fprintf(stderr, "recdesk: --demo-model must be R5, R5U, R6 or T7\n");
        return 2;
      }
      demo = true;
      demoModel = argv[++i];
      continue;
    }
    if (arg == "--demo-locked") {
      demo = true;
      demoLocked = true;
      continue;
    }
    if (arg == "--demo-clock-off") {
      demo = true;
      demoClockOffset = 120;
      continue;
    }
    if (arg == "--demo-timer-armed") {
      demo = true;
      demoTimerArmed = true;
      continue;
    }
    std::fprintf(stderr, "recdesk: unknown option %s\n\n%s", arg.c_str(), kUsage);
    return 2;
  }

  // The user's locale for everything (dates name their weekdays and months in it).
  std::setlocale(LC_ALL, "");
  try {
    std::locale::global(std::locale(""));
  } catch (const std::exception&) {
    // An unknown locale in the environment: the classic one stays.
  }

  std::string languageProblem;
  const bool languageLoaded = recdesk::lang::loadProgramLanguage(argv[0], languageProblem);

  // One copy per user; a second start asks the first to come forward and ends without a window.
  recdesk::gui::SingleInstance instance;
  if (instance.otherRunning()) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (socket.waitForConnected(500)) {
      socket.write("raise\n");
      socket.waitForBytesWritten(500);
    }
    return 0;
  }
  if (!instance.problem().empty()) std::fprintf(stderr, "recdesk: warning: %s\n", instance.problem().c_str());

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("recdesk"));
  recdesk::gui::registerBundledIcons();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/recdesk.png")));
  QApplication::setDesktopFileName(QStringLiteral("recdesk"));
  if (!languageLoaded) {
    std::fprintf(stderr, "recdesk: %s\n", languageProblem.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("RecDesk"), QString::fromStdString(languageProblem));
    return 1;
  }

  recdesk::gui::GuiOptions options;
  options.demo = demo;
  options.fullDemo = demo;
  options.demoClockOffset = demoClockOffset;
  options.demoTimerArmed = demoTimerArmed;
  options.demoModel = demoModel;
  options.demoLocked = demoLocked;
  recdesk::gui::GuiSession session(options);
  recdesk::gui::MainWindow window(session);

  QLocalServer server;
  if (instance.first()) {
    QLocalServer::removeServer(serverName());  // left by a copy that died; we hold the lock
    server.setSocketOptions(QLocalServer::UserAccessOption);
    server.listen(serverName());
    QObject::connect(&server, &QLocalServer::newConnection, &window, [&server, &window] {
      while (QLocalSocket* peer = server.nextPendingConnection()) {
        QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        window.bringForward();
      }
    });
  }

  recdesk::gui::closeOnTerminationSignals(&window);
  window.show();
  if (!session.demo()) window.settingsCommands()->startChecks();
  session.start();
  return app.exec();
}
