#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Enabling.h"
#include "app/Restrictions.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

using namespace recdesk::app;
using recdesk::test::FakeUi;
using recdesk::test::loadEnglish;
using recdesk::test::TempDir;

namespace {

EnablingSession idle() {
  EnablingSession s;
  s.running = s.connected = true;
  s.recordingsSelected = true;
  return s;
}

// The states a session passes through.
std::vector<EnablingSession> everyState() {
  std::vector<EnablingSession> out;
  out.push_back(EnablingSession{});
  EnablingSession s = idle();
  out.push_back(s);
  for (bool EnablingSession::*flag :
       {&EnablingSession::downloading, &EnablingSession::maintenance, &EnablingSession::recording,
        &EnablingSession::sampling, &EnablingSession::timerArmed}) {
    EnablingSession busy = idle();
    busy.*flag = true;
    out.push_back(busy);
  }
  EnablingSession unconnected = idle();
  unconnected.connected = false;
  out.push_back(unconnected);
  return out;
}

}  // namespace

TEST(Restrictions, ActiveZeroIgnoresTheMask) {
  const Restrictions off{false, restriction::kAll, "pw"};
  for (const auto& b : restrictionBits()) EXPECT_TRUE(off.allowed(b.bit));
  const Restrictions on{true, 129, "pw"};
  EXPECT_FALSE(on.allowed(1));
  EXPECT_FALSE(on.allowed(128));
  EXPECT_TRUE(on.allowed(2));
  for (const auto& state : everyState()) {
    const EnabledSet everything = enabledControls(state, {}, Restrictions{}, EnabledSet::all());
    EXPECT_EQ(enabledControls(state, {}, off, EnabledSet::all()), everything);
  }
}

TEST(Restrictions, Config129DisablesOptionsAndDownloadsInEveryState) {
  const Restrictions r{true, 129, "pw"};
  for (const auto& state : everyState()) {
    const EnabledSet e = enabledControls(state, PlayerState{true, false, false}, r);
    EXPECT_FALSE(e[Control::Options]);
    EXPECT_FALSE(e[Control::DownloadCmd]);
    EXPECT_FALSE(e[Control::LevelView]);
    if (!state.downloading) {
      EXPECT_FALSE(e[Control::DownloadButton]);  // a running one can still be cancelled
    }
  }
  // Everything else follows the session.
  const EnabledSet e = enabledControls(idle(), {}, r);
  EXPECT_TRUE(e[Control::FormatButton] && e[Control::ReadList] && e[Control::ApplyProfile] &&
              e[Control::Convert]);
}

TEST(Enabling, FollowsTheSessionState) {
  const Restrictions none;
  EnabledSet e = enabledControls(EnablingSession{}, {}, none);
  EXPECT_TRUE(e[Control::Options]);
  EXPECT_FALSE(e[Control::DownloadCmd] || e[Control::ReadList] || e[Control::Transmitter] ||
               e[Control::FormatButton]);
  EXPECT_TRUE(e[Control::ProfileDropDown]);
  EXPECT_TRUE(e[Control::Convert]);  // kept as it was

  e = enabledControls(idle(), {}, none);
  EXPECT_TRUE(e[Control::DownloadButton] && e[Control::RecordStart] && e[Control::Transmitter] &&
              e[Control::Clock]);
  EXPECT_FALSE(e[Control::RecordStop] || e[Control::TestModeOff]);
  EnablingSession nothingSelected = idle();
  nothingSelected.recordingsSelected = false;
  EXPECT_FALSE(enabledControls(nothingSelected, {}, none)[Control::DownloadButton]);

  EnablingSession s = idle();
  s.downloading = true;
  e = enabledControls(s, {}, none);
  EXPECT_TRUE(e[Control::DownloadButton]);  // cancels
  EXPECT_FALSE(e[Control::Options] || e[Control::Convert] || e[Control::ReadList] ||
               e[Control::FormatButton]);
  EXPECT_FALSE(e[Control::ProfileDropDown]);
  s = idle();
  s.recording = true;
  e = enabledControls(s, {}, none);
  EXPECT_TRUE(e[Control::RecordStop]);
  EXPECT_FALSE(e[Control::DownloadButton]);
  s = idle();
  s.timerArmed = true;
  e = enabledControls(s, {}, none);
  EXPECT_FALSE(e[Control::FormatButton] || e[Control::RecordStart]);
  EXPECT_TRUE(e[Control::ProfileDropDown] && e[Control::ReadList]);

  s = idle();
  s.reducedVariant = true;
  s.transmitterMenu = false;
  e = enabledControls(s, {}, none);
  EXPECT_FALSE(e[Control::ProfileEditor] || e[Control::RestrictionsCmd] || e[Control::TimerProgramme] ||
               e[Control::PasswordReset] || e[Control::Transmitter] || e[Control::TransmitterMenu]);

  // The restriction bits each guard their commands.
  e = enabledControls(idle(), {}, Restrictions{true, 4 | 8 | 16 | 32 | 64 | 2, "pw"});
  for (Control c : {Control::FormatButton, Control::FormatCmd, Control::FlashCheck, Control::PasswordReset,
                    Control::Led1, Control::Led3, Control::ApplyProfile, Control::ProfileDropDown,
                    Control::TimerProgramme, Control::ProfileEditor})
    EXPECT_FALSE(e[c]) << controlName(c);
  EXPECT_TRUE(e[Control::ReadList]);

  // The player's buttons.
  e = enabledControls(idle(), PlayerState{true, true, false}, none);
  EXPECT_TRUE(e[Control::Pause] && e[Control::StopPlayback] && !e[Control::Play] &&
              !e[Control::OpenFileButton]);
}

TEST(RestrictionsDialog, PasswordPromptNewPasswordAndMask) {
  loadEnglish();
  FakeUi ui;
  // Passwords are compared as typed: the wrong case is refused with 57960 and asked again.
  RestrictionsModel dialog(Restrictions{true, 2 | 128, "Secret"}, true, ui);
  ui.texts = {std::string("secret"), std::string("Secret")};
  bool opened = false;
  dialog.open([&](bool ok) { opened = ok; });
  EXPECT_TRUE(opened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Wrong password.");
  ui.texts = {std::string("nope")};
  dialog.open([&](bool ok) { opened = ok; });
  EXPECT_FALSE(opened);  // cancelled after the wrong one

  // The reduced recorder: the profile-editor choice is cleared and stays cleared.
  EXPECT_FALSE(dialog.choice(restriction::kProfileEditor));
  EXPECT_FALSE(dialog.choiceEnabled(restriction::kProfileEditor));
  dialog.setChoice(restriction::kProfileEditor, true);
  dialog.setChoice(restriction::kTimer, true);
  auto r = dialog.ok();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->mask, 128u | 64u);

  EXPECT_EQ(newPasswordProblem("", ""), recdesk::TextId::EnterAPassword);
  EXPECT_EQ(newPasswordProblem("abc", "abd"), recdesk::TextId::PasswordsDiffer);
  EXPECT_EQ(newPasswordProblem(" abc", " abc"), recdesk::TextId::PasswordNotStorable);
  EXPECT_EQ(newPasswordProblem("a\nb", "a\nb"), recdesk::TextId::PasswordNotStorable);
  EXPECT_FALSE(newPasswordProblem("a b", "a b"));

  // Switching restrictions on needs a password.
  RestrictionsModel fresh(Restrictions{}, false, ui);
  fresh.setActive(true);
  ui.messages.clear();
  EXPECT_FALSE(fresh.ok());
  EXPECT_EQ(ui.messages.at(0).text, "Restrictions need a password. Set one with the Password button first.");
  ui.texts = {std::string("New Pass")};
  fresh.changePassword();
  fresh.setChoice(restriction::kOptions, true);
  r = fresh.ok();
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (Restrictions{true, 1, "New Pass"}));
}

TEST(RestrictionsDialog, WrittenSettingsReadBackIdentically) {
  loadEnglish();
  TempDir dir;
  SettingsFile file(dir / "s.ini");
  Settings s;
  const Restrictions r{true, 129, "Pa=ss;word"};
  ASSERT_TRUE(applyRestrictions(s, file, r));
  EXPECT_EQ(restrictionsOf(s), r);
  EXPECT_EQ(restrictionsOf(loadSettings(file).settings), r);
}

TEST(Enabling, TheOpenFileButtonComesBackWhenPlaybackStopsWithoutASession) {
  const Restrictions none;
  PlayerState player;
  player.fileOpen = true;
  player.playing = true;
  EnabledSet e = enabledControls(EnablingSession{}, player, none);
  EXPECT_FALSE(e[Control::OpenFileButton]);
  player.playing = false;
  e = enabledControls(EnablingSession{}, player, none, e);
  EXPECT_TRUE(e[Control::OpenFileButton]);
  EXPECT_TRUE(e[Control::Play]);
}
