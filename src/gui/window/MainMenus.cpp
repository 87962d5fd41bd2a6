#include "window/MainMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "window/Commands.h"
#include "platform/GuiTexts.h"

namespace recdesk::gui {

namespace {

struct Item {
  Command command;
  TextId caption;
  QKeySequence shortcut = {};
};

}  // namespace

QMap<int, QAction*> buildMenus(QMenuBar* bar, const std::function<void(int)>& run) {
  QMap<int, QAction*> actions;
  const auto add = [&](QMenu* menu, const Item& item) {
    QAction* a = menu->addAction(qtext(item.caption));
    a->setShortcut(item.shortcut);
    const int id = number(item.command);
    a->setData(id);
    a->setObjectName(QStringLiteral("command%1").arg(id));
    QObject::connect(a, &QAction::triggered, bar, [run, id] { run(id); });
    actions.insert(id, a);
    return a;
  };

  QMenu* file = bar->addMenu(qtext(TextId::MenuFile));
  add(file, {Command::OpenFile, TextId::MenuOpenRecording, QKeySequence::Open});
  add(file, {Command::Convert, TextId::MenuConvert});
  add(file, {Command::Filter, TextId::MenuFilter});
  file->addSeparator();
  QAction* exit = file->addAction(qtext(TextId::MenuExit));
  exit->setShortcut(QKeySequence::Quit);
  QObject::connect(exit, &QAction::triggered, bar, [bar] { bar->window()->close(); });

  QMenu* settings = bar->addMenu(qtext(TextId::MenuSettings));
  add(settings, {Command::Options, TextId::MenuOptions});
  add(settings, {Command::Profiles, TextId::MenuProfiles});
  add(settings, {Command::Restrictions, TextId::MenuRestrictions});
  settings->addSeparator();
  add(settings, {Command::CommsLog, TextId::MenuCommsLog, QKeySequence(Qt::CTRL | Qt::Key_L)})->setCheckable(true);

  QMenu* recorder = bar->addMenu(qtext(TextId::MenuRecorder));
  add(recorder, {Command::ReadList, TextId::MenuReadList, QKeySequence::Refresh});
  add(recorder, {Command::Download, TextId::MenuDownload, QKeySequence(Qt::CTRL | Qt::Key_D)});
  add(recorder, {Command::Format, TextId::MenuFormat});
  recorder->addSeparator();
  add(recorder, {Command::Clock, TextId::MenuClock});
  add(recorder, {Command::TimerProgramme, TextId::MenuTimerProgramme});
  add(recorder, {Command::ResetPassword, TextId::MenuResetPassword});
  recorder->addSeparator();
  QMenu* diagnostics = recorder->addMenu(qtext(TextId::MenuDiagnostics));
  actions.insert(number(Menu::Diagnostics), diagnostics->menuAction());
  add(diagnostics, {Command::DeviceInfo, TextId::MenuDeviceInfo});
  add(diagnostics, {Command::FlashInfo, TextId::MenuFlashInfo});
  add(diagnostics, {Command::AdapterInfo, TextId::MenuAdapterInfo});
  diagnostics->addSeparator();
  add(diagnostics, {Command::BadBlockScan, TextId::MenuBadBlockScan});
  add(diagnostics, {Command::FlashCheck, TextId::MenuFlashCheck});
  diagnostics->addSeparator();
  add(diagnostics, {Command::TestModeOff, TextId::MenuTestModeOff});
  add(diagnostics, {Command::Led1, TextId::MenuLedTest1});
  add(diagnostics, {Command::Led2, TextId::MenuLedTest2});
  add(diagnostics, {Command::Led3, TextId::MenuLedTest3});

  QMenu* transmitter = bar->addMenu(qtext(TextId::MenuTransmitter));
  actions.insert(number(Menu::Transmitter), transmitter->menuAction());
  add(transmitter, {Command::Transmitter, TextId::MenuTransmitterConfig});

  QMenu* help = bar->addMenu(qtext(TextId::MenuHelp));
  add(help, {Command::Guide, TextId::MenuGuide, QKeySequence::HelpContents});
  help->addSeparator();
  add(help, {Command::About, TextId::MenuAbout});
  return actions;
}

}  // namespace recdesk::gui
