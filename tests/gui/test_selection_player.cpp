// The main window's player follows the recording list: selecting a recording whose IM2 file is on
// disk loads it, one without a file empties the player, and a new file-name prefix refreshes the
// list and the player.
#include <gtest/gtest.h>

// The simulator's headers come before Qt's.
#include "DemoRecorder.h"
#include "recording/DemoRecordings.h"

#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "player/PlayerController.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;
namespace fs = std::filesystem;

namespace {

struct SelectionWindow {
  recdesk::test::TempDir dir;
  std::shared_ptr<recdesk::sim::SimRecorder> device = recdesk::sim::makeDemoRecorder({}, 3);
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

  SelectionWindow() {
    guiApp();
    GuiOptions options = recdesk::test::demoOptions(dir);
    options.demoDevice = device;
    session = std::make_unique<GuiSession>(options);
    // Recording 1 was downloaded before, without a prefix.
    const auto& first = device->recordings()[0];
    first.writeIm2(fs::path(session->settings().downloadFolder) / recdesk::sim::im2FileName(first));
    window = std::make_unique<MainWindow>(*session);
    window->show();
    session->start();
  }
  ~SelectionWindow() {
    window.reset();
    session.reset();
  }
  QTreeWidget& list() { return *window->recordingList(); }
  PlayerController& player() { return *window->player(); }
  fs::path im2(std::size_t index) const {
    return fs::path(session->settings().downloadFolder) / recdesk::sim::im2FileName(device->recordings()[index]);
  }
};

TEST(SelectionPlayer, SelectingADownloadedRecordingLoadsItAndOneWithoutAFileEmptiesThePlayer) {
  SelectionWindow w;
  ASSERT_TRUE(processUntil([&] { return w.session->host().info().chainComplete && w.list().topLevelItemCount() == 3; }, 30000));
  EXPECT_FALSE(w.player().state().fileLoaded);

  w.list().setCurrentItem(w.list().topLevelItem(0));
  EXPECT_TRUE(w.player().state().fileLoaded);
  EXPECT_EQ(w.player().path(), w.im2(0).string());

  w.list().setCurrentItem(w.list().topLevelItem(1));
  EXPECT_FALSE(w.player().state().fileLoaded);
  auto* path = qobject_cast<QLabel*>(w.window->control(Control::FilePath));
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->toolTip().toStdString(), w.im2(1).string());

  w.list().clearSelection();
  EXPECT_FALSE(w.player().state().fileLoaded);
  EXPECT_TRUE(path->toolTip().isEmpty());
}

TEST(SelectionPlayer, ANewPrefixRefreshesTheListAndThePlayerAndRefusedCharactersGoAtOnce) {
  SelectionWindow w;
  ASSERT_TRUE(processUntil([&] { return w.session->host().info().chainComplete && w.list().topLevelItemCount() == 3; }, 30000));
  auto& ops = w.session->operations();
  EXPECT_FALSE(ops.list().isSelected(0));  // complete on disk
  auto* prefix = qobject_cast<QLineEdit*>(w.window->control(Control::Prefix));
  ASSERT_NE(prefix, nullptr);

  // A paste with refused characters: all of them go in one edit.
  const auto type = [&](const QString& text) {
    prefix->setText(text);
    Q_EMIT prefix->textEdited(text);
  };
  type("T:R|I?P");
  EXPECT_EQ(prefix->text(), "TRIP");
  EXPECT_EQ(w.session->settings().filePrefix, "TRIP");
  // No file has that prefix: every recording is selected again, nothing is loaded.
  EXPECT_TRUE(ops.list().isSelected(0));
  EXPECT_EQ(ops.list().selectedCount(), 3u);
  EXPECT_FALSE(w.player().state().fileLoaded);

  // Back to no prefix: recording 1 is complete again, and the first selected one has no file.
  type("");
  EXPECT_EQ(w.session->settings().filePrefix, "");
  EXPECT_FALSE(ops.list().isSelected(0));
  EXPECT_EQ(ops.list().selectedCount(), 2u);
}

}  // namespace
