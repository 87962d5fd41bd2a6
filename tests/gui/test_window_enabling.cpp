// The window's commands and buttons follow the core's enabling: session states, the restriction mask
// and the player, as the menus and buttons show them.
#include <gtest/gtest.h>

#include <QAction>
#include <QWidget>

#include "window/GuiSession.h"
#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "session/SessionInfo.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;

namespace {

// A window on the demo session that is never started: the tests set the session state themselves.
struct IdleWindow {
  recdesk::test::TempDir dir;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;
  IdleWindow() {
    guiApp();
    GuiOptions options = recdesk::test::demoOptions(dir);
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
  }
  bool on(Command c) const { return window->action(c)->isEnabled(); }
  bool on(Control c) const { return window->control(c)->isEnabled(); }
  void restrict(std::uint32_t mask) {
    session->settings().restrictionsActive = true;
    session->settings().restrictionMask = mask;
    window->refreshEnabling();
  }
};

recdesk::session::SessionState connectedIdle() {
  recdesk::session::SessionState s;
  s.running = true;
  s.connected = true;
  s.linkOpen = true;
  return s;
}

}  // namespace

TEST(WindowEnabling, FollowsTheSessionFromNotRunningThroughIdleToBusy) {
  IdleWindow w;
  recdesk::session::SessionState s;
  w.window->onState(s);
  EXPECT_TRUE(w.on(Command::Options));
  EXPECT_FALSE(w.on(Command::ReadList));
  EXPECT_FALSE(w.on(Command::Download));
  EXPECT_FALSE(w.on(Control::Format));
  EXPECT_FALSE(w.on(Control::ApplyProfile));
  EXPECT_TRUE(w.on(Control::ProfileChoice));
  EXPECT_TRUE(w.on(Command::Restrictions));

  w.window->onState(connectedIdle());
  EXPECT_TRUE(w.on(Command::ReadList));
  EXPECT_TRUE(w.on(Command::Format));
  EXPECT_TRUE(w.on(Control::Format));
  EXPECT_TRUE(w.on(Control::RecordStart));
  EXPECT_FALSE(w.on(Control::RecordStop));
  EXPECT_FALSE(w.on(Control::Download));  // nothing selected
  EXPECT_FALSE(w.on(Command::TestModeOff));

  // A download runs: its button stays to cancel it, the recorder commands and Options rest.
  s = connectedIdle();
  s.downloading = true;
  w.window->onState(s);
  EXPECT_TRUE(w.on(Control::Download));
  EXPECT_FALSE(w.on(Command::ReadList));
  EXPECT_FALSE(w.on(Command::Options));
  EXPECT_FALSE(w.on(Control::ProfileChoice));

  // A recording: only its stop button among the recorder buttons.
  s = connectedIdle();
  s.recording = true;
  w.window->onState(s);
  EXPECT_TRUE(w.on(Control::RecordStop));
  EXPECT_FALSE(w.on(Control::RecordStart));
  EXPECT_FALSE(w.on(Control::Format));

  // The timer armed: the buttons rest, the profile choice stays.
  s = connectedIdle();
  s.timerArmed = true;
  w.window->onState(s);
  EXPECT_FALSE(w.on(Control::RecordStart));
  EXPECT_FALSE(w.on(Control::ApplyProfile));
  EXPECT_TRUE(w.on(Control::ProfileChoice));

  s = connectedIdle();
  s.testMode = true;
  w.window->onState(s);
  EXPECT_TRUE(w.on(Command::TestModeOff));
}

TEST(WindowEnabling, RestrictionMaskLocksItsCommandsOnlyWhileActive) {
  IdleWindow w;
  w.window->onState(connectedIdle());
  w.session->settings().restrictionMask = 129;  // options and downloads, but not active
  w.window->refreshEnabling();
  EXPECT_TRUE(w.on(Command::Options));
  EXPECT_TRUE(w.on(Command::Download));

  w.restrict(129);
  EXPECT_FALSE(w.on(Command::Options));
  EXPECT_FALSE(w.on(Command::Download));
  EXPECT_TRUE(w.on(Control::Format));
  EXPECT_TRUE(w.on(Command::Profiles));

  w.restrict(2 | 4 | 32);  // profile editor, format, profiles
  EXPECT_TRUE(w.on(Command::Options));
  EXPECT_FALSE(w.on(Command::Profiles));
  EXPECT_FALSE(w.on(Command::Format));
  EXPECT_FALSE(w.on(Command::FlashCheck));
  EXPECT_FALSE(w.on(Control::Format));
  EXPECT_FALSE(w.on(Control::ProfileChoice));
  EXPECT_FALSE(w.on(Control::ApplyProfile));
  EXPECT_TRUE(w.on(Command::Restrictions));  // always reachable, to lift them

  w.restrict(8 | 16 | 64);
  EXPECT_FALSE(w.on(Command::ResetPassword));
  EXPECT_FALSE(w.on(Command::Led1));
  EXPECT_FALSE(w.on(Command::TimerProgramme));
  EXPECT_TRUE(w.on(Command::Clock));
}

TEST(WindowEnabling, ReducedRecorderAndPlayerStateReachTheWindow) {
  IdleWindow w;
  w.window->onState(connectedIdle());
  w.window->onDeviceKind(recdesk::session::DeviceVariant::Reduced, 0, false);
  EXPECT_FALSE(w.on(Command::Profiles));
  EXPECT_FALSE(w.on(Command::Restrictions));
  EXPECT_FALSE(w.on(Command::TimerProgramme));
  EXPECT_FALSE(w.on(Command::Transmitter));
  EXPECT_TRUE(w.on(Command::ReadList));

  EXPECT_FALSE(w.on(Control::Play));
  recdesk::app::PlayerState player;
  player.fileOpen = true;
  w.window->setPlayerState(player);
  EXPECT_TRUE(w.on(Control::Play));
  EXPECT_FALSE(w.on(Control::Pause));
  player.playing = true;
  w.window->setPlayerState(player);
  EXPECT_FALSE(w.on(Control::Play));
  EXPECT_TRUE(w.on(Control::Pause));
  EXPECT_TRUE(w.on(Control::Stop));
  EXPECT_FALSE(w.on(Control::OpenFile));
}
