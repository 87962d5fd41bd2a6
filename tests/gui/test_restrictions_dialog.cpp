// The restrictions dialog draws its model (the caption switch enables the nine choices, the reduced
// recorder loses the profile-editor choice), asks the password first while restrictions are active,
// and gives the record to the window; the text prompts check a new secret before giving it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "DemoOptions.h"
#include "controls/CheckableGroupBox.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "dialogs/RestrictionsDialog.h"
#include "dialogs/SettingsCommands.h"
#include "dialogs/TextPrompt.h"
#include "lang/Strings.h"
#include "app/SettingsFile.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;


TEST(RestrictionsDialog, CaptionSwitchEnablesTheChoicesAndOkNeedsAPassword) {
  guiApp();
  recdesk::test::FakeUi ui;
  recdesk::app::Restrictions current;
  current.mask = 129;
  RestrictionsDialog d(current, false, ui);
  std::optional<recdesk::app::Restrictions> chosen;
  QObject::connect(&d, &RestrictionsDialog::restrictionsChosen, [&](const recdesk::app::Restrictions& r) { chosen = r; });
  d.start();  // not active: no password asked
  EXPECT_TRUE(ui.textQuestions.empty());
  EXPECT_TRUE(d.choice(0)->isChecked());
  EXPECT_TRUE(d.choice(7)->isChecked());
  EXPECT_FALSE(d.choice(0)->isEnabled());
  EXPECT_FALSE(d.passwordButton()->isEnabled());

  d.group()->setCheck(true);
  Q_EMIT d.group()->captionClicked();
  EXPECT_TRUE(d.choice(0)->isEnabled());
  EXPECT_TRUE(d.passwordButton()->isEnabled());
  d.choice(4)->click();  // LED tests
  d.show();
  d.submit();
  EXPECT_FALSE(chosen);  // no password yet
  ASSERT_FALSE(ui.messages.empty());

  ui.texts.push_back(std::string("Secret1"));
  d.passwordButton()->click();
  d.submit();
  ASSERT_TRUE(chosen);
  EXPECT_TRUE(chosen->active);
  EXPECT_EQ(chosen->mask, 129u | 16u);
  EXPECT_EQ(chosen->password, "Secret1");
}

TEST(RestrictionsDialog, ReducedRecorderLosesTheProfileEditorChoice) {
  guiApp();
  recdesk::test::FakeUi ui;
  recdesk::app::Restrictions current{false, 2 | 4, ""};
  RestrictionsDialog d(current, true, ui);
  d.group()->setCheck(true);
  Q_EMIT d.group()->captionClicked();
  EXPECT_FALSE(d.choice(1)->isChecked());
  EXPECT_FALSE(d.choice(1)->isEnabled());
  EXPECT_TRUE(d.choice(2)->isEnabled());
}

TEST(RestrictionsDialog, WindowAsksThePasswordFirstAndStoresTheNewRecord) {
  guiApp();
  recdesk::test::TempDir dir;
  recdesk::test::writeFile(dir / "recdesk.ini", "[Options]\nProfileIni=\nActive=1\nConfig=129\nRPW=Abc\n");
  GuiSession session(recdesk::test::demoOptions(dir));
  MainWindow window(session);
  EXPECT_FALSE(window.action(Command::Options)->isEnabled());
  window.runCommand(number(Command::Restrictions));
  RestrictionsDialog* d = window.settingsCommands()->restrictionsDialog();
  ASSERT_NE(d, nullptr);
  // The password prompt is up; a wrong letter case is wrong.
  auto prompt = [&] {
    TextPrompt* found = nullptr;
    for (TextPrompt* p : window.findChildren<TextPrompt*>())
      if (p->isVisible()) found = p;
    return found;
  };
  ASSERT_NE(prompt(), nullptr);
  EXPECT_FALSE(d->isVisible());
  prompt()->entry()->setText("abc");
  prompt()->submit();
  recdesk::test::processUntil([&] { return prompt() != nullptr; }, 1000);
  ASSERT_NE(prompt(), nullptr);  // asked again
  prompt()->entry()->setText("Abc");
  prompt()->submit();
  ASSERT_TRUE(recdesk::test::processUntil([&] { return d->isVisible(); }, 1000));
  for (QMessageBox* box : window.findChildren<QMessageBox*>()) box->close();

  d->group()->setCheck(false);
  Q_EMIT d->group()->captionClicked();
  d->submit();
  EXPECT_TRUE(window.action(Command::Options)->isEnabled());
  recdesk::app::SettingsFile file(dir / "recdesk.ini");
  EXPECT_EQ(file.readInt("Options", "Active", 7), 0);
  EXPECT_EQ(file.readInt("Options", "Config", 0), 129);
}

TEST(TextPrompt, NewSecretMustBeTypedTwiceAlike) {
  guiApp();
  QWidget parent;
  recdesk::ports::TextQuestion q;
  q.kind = recdesk::ports::TextKind::NewSecret;
  q.prompt = recdesk::lang::text(recdesk::TextId::NewRestrictionPassword);
  q.caption = recdesk::lang::text(recdesk::TextId::AppName);
  std::optional<std::string> got;
  int calls = 0;
  auto* p = new TextPrompt(q, [&](const std::optional<std::string>& t) { got = t; ++calls; }, &parent);
  p->open();
  EXPECT_EQ(p->entry()->echoMode(), QLineEdit::Password);
  ASSERT_NE(p->confirmation(), nullptr);
  p->entry()->setText("one");
  p->confirmation()->setText("two");
  recdesk::test::screenshot(*p, "new-password-prompt");
  p->submit();
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(p->isVisible());
  p->confirmation()->setText("one");
  p->submit();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(got, std::optional<std::string>("one"));

  auto* cancelled = new TextPrompt(q, [&](const std::optional<std::string>& t) { got = t; ++calls; }, &parent);
  cancelled->open();
  cancelled->reject();
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(got);
}
