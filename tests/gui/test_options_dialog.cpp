// The Options and block-size dialogs draw their models and forward the user's actions; the window's
// Options command opens them unless restricted, and the start opens them when something is missing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

#include "DemoOptions.h"
#include "dialogs/AccelerationDialog.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "dialogs/OptionsDialog.h"
#include "dialogs/SettingsCommands.h"
#include "app/OptionsRules.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;

namespace {

recdesk::app::Settings configured() {
  recdesk::app::Settings s;
  s.profileIni = "";
  s.port = 1000;
  s.baud = 3000000;
  s.acceleration = 8;
  s.waveCutTime = 72;
  s.downloadFolder = "/tmp/dl";
  s.decryptFolder = "/tmp/wav";
  return s;
}

QMessageBox* openMessage(QWidget* parent) {
  for (QMessageBox* box : parent->findChildren<QMessageBox*>())
    if (box->isVisible()) return box;
  return nullptr;
}

}  // namespace

TEST(OptionsDialog, DrawsTheModelAndFollowsItsClicks) {
  guiApp();
  recdesk::test::FakeUi ui;
  OptionsDialog d(configured(), ui);
  d.show();
  EXPECT_EQ(d.linkChoice()->currentIndex(), 3);
  EXPECT_EQ(d.linkChoice()->count(), 13);
  EXPECT_TRUE(d.accelerationButton()->isEnabled());
  EXPECT_TRUE(d.cutByTime()->isChecked());
  EXPECT_EQ(d.minutes()->text(), "72");
  EXPECT_TRUE(d.minutes()->isEnabled());
  EXPECT_FALSE(d.mib()->isEnabled());
  EXPECT_FALSE(d.useProfileFile()->isChecked());
  EXPECT_FALSE(d.profileBrowse()->isEnabled());
  EXPECT_EQ(d.downloadFolder()->text(), "/tmp/dl");

  d.cutBySize()->click();
  EXPECT_FALSE(d.cutByTime()->isChecked());
  EXPECT_EQ(d.mib()->text(), "640");
  EXPECT_TRUE(d.mib()->isEnabled());
  EXPECT_FALSE(d.minutes()->isEnabled());

  d.linkChoice()->setCurrentIndex(7);  // a serial port: no block size
  EXPECT_FALSE(d.accelerationButton()->isEnabled());

  d.takeDownloadFolder("/tmp/new");  // the WAV folder follows
  EXPECT_EQ(d.decodeFolder()->text(), "/tmp/new");
  d.takeDecodeFolder("/tmp/other");
  EXPECT_EQ(d.downloadFolder()->text(), "/tmp/new");
  EXPECT_EQ(d.decodeFolder()->text(), "/tmp/other");

  d.useProfileFile()->click();
  EXPECT_TRUE(d.profileBrowse()->isEnabled());
  EXPECT_TRUE(d.profilePath()->isEnabled());
}

TEST(OptionsDialog, OkRefusesAnOutOfRangeBoxAndOtherwiseGivesTheNewSettings) {
  guiApp();
  recdesk::test::FakeUi ui;
  QWidget parent;
  auto* d = new OptionsDialog(configured(), ui, &parent);
  std::optional<recdesk::app::Settings> chosen;
  QObject::connect(d, &OptionsDialog::settingsChosen, [&](const recdesk::app::Settings& s) { chosen = s; });
  d->open();
  d->minutes()->setText("7000");
  Q_EMIT d->minutes()->textEdited("7000");
  d->submit();
  EXPECT_FALSE(chosen);
  EXPECT_TRUE(d->isVisible());
  QMessageBox* box = openMessage(d);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains("6000")) << box->text().toStdString();
  box->close();

  d->minutes()->setText("90");
  Q_EMIT d->minutes()->textEdited("90");
  d->linkChoice()->setCurrentIndex(7);
  d->takeExponent(8);
  d->submit();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->port, 3);
  EXPECT_EQ(chosen->baud, 115200u);
  EXPECT_EQ(chosen->waveCutTime, 90);
  EXPECT_EQ(chosen->acceleration, 256);
  EXPECT_FALSE(d->isVisible());
}

TEST(AccelerationDialog, SliderDrawsThePositionAndOkGivesIt) {
  guiApp();
  AccelerationDialog d(recdesk::app::accelerationExponent(6));
  EXPECT_EQ(d.slider()->value(), 3);
  EXPECT_EQ(d.slider()->maximum(), 8);
  d.show();
  d.slider()->setValue(8);
  EXPECT_TRUE(d.findChildren<QLabel*>().front()->text().endsWith("256"));
  d.restoreDefault();
  EXPECT_EQ(d.slider()->value(), 3);
  int chosen = -1;
  QObject::connect(&d, &AccelerationDialog::exponentChosen, [&](int e) { chosen = e; });
  d.slider()->setValue(0);
  d.open();
  for (QPushButton* b : d.findChildren<QPushButton*>())
    if (b->text().contains("OK", Qt::CaseInsensitive)) b->click();
  EXPECT_EQ(chosen, 0);
}

TEST(SettingsCommands, OptionsOpenUnlessRestrictedAndAtStartWithDefaultFolders) {
  guiApp();
  recdesk::test::TempDir dir;
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  recdesk::test::writeFile(dir / "recdesk.ini", "[Options]\nProfileIni=\nPort=0\n");
  GuiSession session(recdesk::test::demoOptions(dir));
  MainWindow window(session);
  SettingsCommands& commands = *window.settingsCommands();

  session.settings().restrictionsActive = true;
  session.settings().restrictionMask = 1;
  window.refreshEnabling();
  window.runCommand(number(Command::Options));
  EXPECT_EQ(commands.optionsDialog(), nullptr);

  session.settings().restrictionsActive = false;
  window.refreshEnabling();
  window.runCommand(number(Command::Options));
  ASSERT_NE(commands.optionsDialog(), nullptr);
  commands.optionsDialog()->close();
  recdesk::test::processUntil([&] { return commands.optionsDialog() == nullptr; }, 2000);
  ASSERT_EQ(commands.optionsDialog(), nullptr);

  // Not configured (the demo configures its own link and folders).
  session.settings().port = 0;
  session.settings().downloadFolder.clear();
  session.settings().decryptFolder.clear();
  commands.startChecks();
  OptionsDialog* d = commands.optionsDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->downloadFolder()->text().toStdString(), (dir / "data" / "recdesk" / "download").string());
  EXPECT_EQ(d->decodeFolder()->text().toStdString(), (dir / "data" / "recdesk" / "decode").string());
  EXPECT_EQ(d->linkChoice()->currentIndex(), 0);
  EXPECT_TRUE(session.settings().downloadFolder.empty());  // shown, not taken before OK
  d->reject();
}
