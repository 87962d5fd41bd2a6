// The main window against the built-in simulated recorder: it connects, shows the recorder, its
// list and the summary, and enables the download once recordings are selected.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QTableWidget>
#include <QTreeWidget>

#include "window/CommsLogWindow.h"
#include "window/GuiSession.h"
#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "controls/LogEdit.h"
#include "window/MainWindow.h"
#include "app/SettingsFile.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

namespace {

struct DemoWindow {
  recdesk::test::TempDir dir;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

  DemoWindow() {
    guiApp();
    recdesk::test::writeFile(dir / "recdesk.ini", "[MainWindow]\nLeft=40\nTop=30\nWidth=99\nHeight=99\nFilePrefix=Field\n");
    GuiOptions options = recdesk::test::demoOptions(dir);
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
    window->show();
    session->start();
  }
  ~DemoWindow() {
    window.reset();
    session.reset();
  }
  bool connectedWithList() {
    return processUntil(
        [&] {
          return session->host().info().chainComplete && window->recordingList()->topLevelItemCount() == 3;
        },
        30000);
  }
};

}  // namespace

TEST(MainWindow, ReachesConnectedWithAListOnTheSimulatedRecorder) {
  DemoWindow demo;
  MainWindow& w = *demo.window;
  // Before the recorder answers: not connected, nothing to download, Options available.
  EXPECT_FALSE(w.control(Control::Download)->isEnabled());
  EXPECT_FALSE(w.action(Command::ReadList)->isEnabled());
  EXPECT_TRUE(w.action(Command::Options)->isEnabled());
  EXPECT_EQ(w.summaryList()->item(0, 0)->text(), "0 recordings");

  ASSERT_TRUE(demo.connectedWithList());
  auto* name = qobject_cast<QLabel*>(w.control(Control::RecorderName));
  ASSERT_NE(name, nullptr);
  EXPECT_TRUE(name->text().startsWith("R5-") || name->text().startsWith("R6-")) << name->text().toStdString();
  QTreeWidget* list = w.recordingList();
  EXPECT_EQ(list->topLevelItem(0)->text(0).trimmed(), "1");
  EXPECT_FALSE(list->topLevelItem(0)->text(2).isEmpty());  // duration
  // Nothing is on disk yet: every row is selected, and the summary counts them.
  EXPECT_EQ(list->selectedItems().size(), 3);
  EXPECT_TRUE(w.summaryList()->item(0, 0)->text().startsWith("3")) << w.summaryList()->item(0, 0)->text().toStdString();
  EXPECT_TRUE(w.summaryList()->item(0, 1)->text().contains("MB") || w.summaryList()->item(0, 1)->text().contains("kB"));
  EXPECT_TRUE(w.control(Control::Download)->isEnabled());
  EXPECT_TRUE(w.action(Command::ReadList)->isEnabled());
  EXPECT_FALSE(w.control(Control::RecordStop)->isEnabled());

  // Deselecting every row in the view deselects them in the list: nothing to download.
  list->clearSelection();
  EXPECT_EQ(demo.session->operations().list().selectedCount(), 0u);
  EXPECT_FALSE(w.control(Control::Download)->isEnabled());
  list->topLevelItem(1)->setSelected(true);
  EXPECT_TRUE(demo.session->operations().list().isSelected(1));
  EXPECT_TRUE(w.summaryList()->item(0, 0)->text().contains("2")) << w.summaryList()->item(0, 0)->text().toStdString();
  EXPECT_TRUE(w.control(Control::Download)->isEnabled());

  // The log window holds the conversation.
  EXPECT_TRUE(w.logWindow()->edit()->toPlainText().contains(">> $R5"));

  for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setSelected(true);
  w.logWindow()->show();
}

TEST(MainWindow, AppliesTheStoredPositionOnlyAndRemembersTheLogWindow) {
  DemoWindow demo;
  MainWindow& w = *demo.window;
  EXPECT_NE(w.width(), 99);  // the stored size is not applied
  QAction* toggle = w.action(Command::CommsLog);
  ASSERT_NE(toggle, nullptr);
  EXPECT_FALSE(toggle->isChecked());
  w.runCommand(number(Command::CommsLog));
  EXPECT_TRUE(w.logWindow()->isVisible());
  EXPECT_TRUE(toggle->isChecked());
  recdesk::app::SettingsFile file(demo.dir / "recdesk.ini");
  EXPECT_EQ(file.readInt("CommsLog", "Display", 0), 1);
  w.logWindow()->close();  // the close box only hides
  EXPECT_FALSE(w.logWindow()->isVisible());
  EXPECT_FALSE(toggle->isChecked());
  EXPECT_EQ(recdesk::app::SettingsFile(demo.dir / "recdesk.ini").readInt("CommsLog", "Display", 1), 0);
}

TEST(MainWindow, MenusFollowTheRequiredStructure) {
  DemoWindow demo;
  MainWindow& w = *demo.window;
  const auto menuOf = [&](Command c) -> QString {
    for (QAction* top : w.menuBar()->actions()) {
      if (!top->menu()) continue;
      for (QAction* a : top->menu()->actions()) {
        if (a == w.action(c)) return top->text();
        if (a->menu() && a->menu()->actions().contains(w.action(c))) return top->text() + ">" + a->text();
      }
    }
    return {};
  };
  EXPECT_EQ(menuOf(Command::Profiles), "&Settings");
  EXPECT_EQ(menuOf(Command::Restrictions), "&Settings");
  EXPECT_EQ(menuOf(Command::TimerProgramme), "&Recorder");
  EXPECT_EQ(menuOf(Command::ResetPassword), "&Recorder");
  EXPECT_EQ(menuOf(Command::Led1), "&Recorder>&Diagnostics");
}

TEST(MainWindow, DownloadsTheSelectedRecordingsWithTheButtonAndShowsThemComplete) {
  DemoWindow demo;
  MainWindow& w = *demo.window;
  ASSERT_TRUE(demo.connectedWithList());
  QTreeWidget* list = w.recordingList();
  list->clearSelection();
  list->topLevelItem(0)->setSelected(true);
  list->topLevelItem(2)->setSelected(true);
  auto* button = qobject_cast<QAbstractButton*>(w.control(Control::Download));
  ASSERT_NE(button, nullptr);
  button->click();
  EXPECT_TRUE(button->isChecked());
  // While it runs, the button stays enabled (pressed again it cancels) and the list is locked.
  ASSERT_TRUE(processUntil([&] { return demo.session->host().flags().download; }, 10000));
  EXPECT_TRUE(button->isEnabled());
  EXPECT_FALSE(w.action(Command::ReadList)->isEnabled());
  processUntil([&] { return list->topLevelItem(0)->text(3) != "0"; }, 5000);

  ASSERT_TRUE(processUntil([&] { return !button->isChecked() && !demo.session->host().flags().download; }, 60000));
  EXPECT_EQ(list->topLevelItem(0)->text(3), "100");
  EXPECT_EQ(list->topLevelItem(1)->text(3), "0");
  EXPECT_EQ(list->topLevelItem(2)->text(3), "100");
  EXPECT_TRUE(button->isEnabled() || list->selectedItems().isEmpty());
  EXPECT_EQ(w.windowTitle(), "RecDesk");  // the progress left the title
}

TEST(MainWindow, CloseSendsItsLastLinesAndSavesThePosition) {
  DemoWindow demo;
  MainWindow& w = *demo.window;
  ASSERT_TRUE(demo.connectedWithList());
  w.move(120, 80);
  processUntil([] { return false; }, 50);
  w.close();
  EXPECT_TRUE(w.isVisible() || demo.session->shutdownComplete());  // it waits for the reset line
  ASSERT_TRUE(processUntil([&] { return !w.isVisible(); }, 5000));
  EXPECT_TRUE(demo.session->shutdownComplete());
  const QString text = w.logWindow()->edit()->toPlainText();
  EXPECT_EQ(text.count("RecDesk closed."), 1);
  recdesk::app::SettingsFile file(demo.dir / "recdesk.ini");
  EXPECT_NE(file.readInt("MainWindow", "Left", 40), 40);
  // The demo names its files without a prefix, but the user's own stays in the settings file.
  EXPECT_EQ(file.readText("MainWindow", "FilePrefix", ""), "Field");
  EXPECT_EQ(file.readInt("CommsLog", "Display", 7), 0);
}
