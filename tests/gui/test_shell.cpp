// The shell around the window: one copy per user, and the log window's box with its menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <filesystem>

#include "window/CommsLogWindow.h"
#include "GuiTestSupport.h"
#include "controls/LogEdit.h"
#include "platform/SingleInstance.h"
#include "link/CommsLog.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

TEST(SingleInstance, ASecondCopyFindsTheFirstAndTheLockGoesWithIt) {
  recdesk::test::TempDir dir;
  const auto folder = dir / "runtime";
  {
    SingleInstance first(folder);
    EXPECT_TRUE(first.first());
    EXPECT_TRUE(first.problem().empty());
    SingleInstance second(folder);
    EXPECT_FALSE(second.first());
    EXPECT_TRUE(second.otherRunning());
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
  }
  SingleInstance again(folder);
  EXPECT_TRUE(again.first());
}

TEST(SingleInstance, AFolderThatIsAFileIsReportedAndTheProgramRunsAnyway) {
  recdesk::test::TempDir dir;
  recdesk::test::writeFile(dir / "runtime", "x");
  SingleInstance instance(dir / "runtime");
  EXPECT_FALSE(instance.first());
  EXPECT_FALSE(instance.otherRunning());
  EXPECT_FALSE(instance.problem().empty());
}

TEST(CommsLogWindow, ShowsAppendsAndErasuresAndItsMenuOffersWhatCanBeDone) {
  guiApp();
  recdesk::test::TempDir dir;
  recdesk::link::CommsLog log(dir.path());
  CommsLogWindow window(log);
  log.append("abc");
  log.append("\bx\r");
  EXPECT_EQ(window.edit()->toPlainText(), "abx\n");

  std::unique_ptr<QMenu> menu(window.edit()->buildMenu());
  QStringList enabled;
  for (QAction* a : menu->actions())
    if (!a->isSeparator() && a->isEnabled()) enabled << a->text();
  EXPECT_EQ(enabled, (QStringList{"Open Log", "Select All"}));  // nothing selected, read-only
  window.edit()->selectAll();
  menu.reset(window.edit()->buildMenu());
  enabled.clear();
  for (QAction* a : menu->actions())
    if (!a->isSeparator() && a->isEnabled()) enabled << a->text();
  EXPECT_TRUE(enabled.contains("Copy"));
}

TEST(CommsLogWindow, OpenLogBeforeAnythingWasLoggedTodaySaysSo) {
  guiApp();
  recdesk::test::TempDir dir;
  recdesk::link::CommsLog log(dir / "empty");
  CommsLogWindow window(log);
  window.show();
  Q_EMIT window.edit()->openLogRequested();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(processUntil([&] { return (box = window.findChild<QMessageBox*>()) != nullptr; }, 2000));
  EXPECT_TRUE(box->text().contains(QString::fromStdString(log.currentFile().string())));
  box->done(0);
}
