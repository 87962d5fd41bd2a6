// The window's profile drop-down draws the profile store (loaded from the settings file) and its
// name label follows the choice.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>

#include "DemoOptions.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "dialogs/ProfileChoice.h"
#include "dialogs/SettingsCommands.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;

TEST(ProfileChoice, DrawsTheStoredProfilesAndFollowsTheChoice) {
  guiApp();
  recdesk::test::TempDir dir;
  recdesk::test::writeFile(dir / "recdesk.ini",
                           "[Options]\nProfileIni=\n[Device Profiles]\nNumProfiles=2\n"
                           "Profile0=Meeting,0,8000,4,1,0,3\nProfile1=Lecture,0,16000,16,1,0,5\n");
  GuiSession session(recdesk::test::demoOptions(dir));
  MainWindow window(session);
  auto* box = qobject_cast<QComboBox*>(window.control(Control::ProfileChoice));
  auto* name = qobject_cast<QLabel*>(window.control(Control::ProfileName));
  ASSERT_NE(box, nullptr);
  QStringList texts;
  for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
  EXPECT_TRUE(texts.contains("Meeting")) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains("Lecture")) << texts.join('|').toStdString();
  const int lecture = static_cast<int>(texts.indexOf("Lecture"));
  box->setCurrentIndex(lecture);
  Q_EMIT box->activated(lecture);
  EXPECT_EQ(window.settingsCommands()->profileChoice()->store().selectedName(), "Lecture");
  EXPECT_EQ(name->text(), "Lecture");
}
