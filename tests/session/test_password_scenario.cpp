// Changing the password and unlocking a locked recorder against the simulated recorder in virtual
// time: the probe and the form it asks for, the change line and its three answers, the PIN prompt
// with the session's locked state, a refused and an accepted PIN, and a table that cannot answer.
#include <gtest/gtest.h>

#include <string>

#include "SessionRig.h"
#include "SimPassword.h"
#include "operations/Password.h"
#include "operations/PinUnlock.h"

using namespace recdesk;
using namespace recdesk::test;
using namespace std::chrono_literals;
using operations::PasswordForm;
using Box = PasswordForm::Box;

namespace {

// Every printable character but "#" as a key; response digit = (PIN digit + key code) mod 10.
std::string fullTable(const std::string& leaveOut = "") {
  std::string text = "# test table\n";
  for (int k = 0x21; k < 0x7F; ++k) {
    if (k == '#' || leaveOut.find(static_cast<char>(k)) != std::string::npos) continue;
    text += static_cast<char>(k);
    text += '=';
    for (int p = 0; p < 10; ++p) text += static_cast<char>('0' + (p + k) % 10);
    text += '\n';
  }
  return text;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs the change: the probe, the form it asks for filled by `fill`, and the recorder's answer.
std::optional<TextId> change(Rig& rig, operations::PasswordChange& pc, std::optional<PasswordForm::Kind>& asked,
                             const std::function<void(PasswordForm&)>& fill) {
  if (!pc.start()) return std::nullopt;
  if (!rig.loop.runUntil([&] { return pc.formWanted().has_value(); }, 10000ms)) return std::nullopt;
  asked = pc.formWanted();
  PasswordForm form = pc.makeForm(*asked);
  fill(form);
  if (!pc.submit(form)) return std::nullopt;
  rig.loop.runUntil([&] { return pc.result().has_value(); }, 10000ms);
  return pc.result();
}

}  // namespace

TEST(PasswordScenario, TheProbeChoosesTheFormAndEachAnswerIsTold) {
  sim::DeviceConfig config;
  config.version = "R5 0.4.0a";  // no firmware capability until a change is accepted
  Rig rig(config);
  auto lock = sim::installPassword(*rig.device, {});
  rig.wire->faults().splitEvery = 4;
  ASSERT_TRUE(rig.connect());
  ASSERT_FALSE(rig.host->info().firmwareCapability);
  operations::PasswordChange pc(*rig.host);
  std::optional<PasswordForm::Kind> asked;

  // The factory password: only the new one is asked for.
  auto result = change(rig, pc, asked, [](PasswordForm& f) {
    f.setText(Box::New, "1234");
    f.setText(Box::Confirm, "1234");
  });
  EXPECT_EQ(asked, PasswordForm::Kind::NewOnly);
  EXPECT_EQ(result, TextId::PasswordChanged);
  EXPECT_EQ(lock->options.password, "1234");
  EXPECT_TRUE(rig.host->info().firmwareCapability);
  ASSERT_FALSE(rig.ui.messages.empty());
  EXPECT_EQ(rig.ui.messages.back().icon, ports::Icon::Information);

  // Not the factory password any more: the full form; a wrong old password is refused.
  result = change(rig, pc, asked, [](PasswordForm& f) {
    f.setText(Box::Old, "9999");
    f.setText(Box::New, "5678");
    f.setText(Box::Confirm, "5678");
  });
  EXPECT_EQ(asked, PasswordForm::Kind::Full);
  EXPECT_EQ(result, TextId::PasswordChangeRefused);
  EXPECT_EQ(rig.ui.messages.back().icon, ports::Icon::Warning);
  EXPECT_EQ(lock->options.password, "1234");

  // Back to the factory password with the check box: text 139.
  result = change(rig, pc, asked, [](PasswordForm& f) {
    f.setText(Box::Old, "1234");
    f.setUseDefault(true);
  });
  EXPECT_EQ(result, TextId::PasswordResetToDefault);
  EXPECT_EQ(lock->options.password, "6284");

  // An empty old password goes out as the factory one.
  result = change(rig, pc, asked, [](PasswordForm& f) {
    f.setText(Box::New, "4444");
    f.setText(Box::Confirm, "4444");
  });
  EXPECT_EQ(result, TextId::PasswordChanged);
  const auto lines = rig.linesSent();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$R5,PWD,6284,6284\r\n"), 4);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$R5,PWD,6284,1234\r\n"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$R5,PWD,9999,5678\r\n"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "$R5,PWD,1234,6284\r\n"), 1);
  // Passwords never reach the log, neither sent nor received.
  EXPECT_FALSE(contains(rig.logText(), "PWD")) << rig.logText();
}

TEST(PasswordScenario, AFormThatBreaksARuleSendsNothing) {
  Rig rig;
  sim::installPassword(*rig.device, {});
  ASSERT_TRUE(rig.connect());
  operations::PasswordChange pc(*rig.host);
  ASSERT_TRUE(pc.start());
  ASSERT_TRUE(rig.loop.runUntil([&] { return pc.formWanted().has_value(); }, 10000ms));
  PasswordForm form = pc.makeForm(*pc.formWanted());
  form.setText(Box::New, "1234");
  form.setText(Box::Confirm, "1243");
  ASSERT_TRUE(rig.settle());
  const std::size_t before = rig.linesSent().size();
  EXPECT_FALSE(pc.submit(form));
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, lang::text(TextId::PasswordConfirmationDiffers));
  ASSERT_TRUE(rig.settle());
  EXPECT_EQ(rig.linesSent().size(), before);
  EXPECT_FALSE(pc.changeSent());
}

TEST(UnlockScenario, ALockedRecorderIsUnlockedWithItsPin) {
  TempDir dir;
  writeFile(dir / "pin.txt", fullTable());
  Rig rig;
  sim::LockOptions options;
  options.pin = "2468";
  std::string error;
  options.table = operations::PinTable::load(dir / "pin.txt", error);
  ASSERT_TRUE(options.table) << error;
  auto lock = sim::installPassword(*rig.device, options);
  rig.settings.pinTable = (dir / "pin.txt").string();
  rig.wire->faults().splitEvery = 5;
  operations::PinUnlock unlock(*rig.host);

  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return unlock.prompt().has_value(); }, 10000ms));
  EXPECT_TRUE(rig.host->state().locked);
  EXPECT_TRUE(rig.host->state().connected);
  EXPECT_EQ(rig.host->state().recorderName, "R5-12345");
  EXPECT_EQ(rig.host->state().statusText, "Recorder R5-12345 is locked: enter its PIN");
  EXPECT_EQ(unlock.prompt()->referenceName, "R5-12345");
  EXPECT_EQ(unlock.prompt()->challenge, lock->challenge);
  EXPECT_TRUE(unlock.formShown());
  // The prompt is never echoed to the log.
  EXPECT_FALSE(contains(rig.logText(), "PASSWORD"));

  // A wrong PIN: the recorder prompts again with a new challenge and stays locked.
  const std::string first = lock->challenge;
  ASSERT_TRUE(unlock.submit("1357"));
  EXPECT_FALSE(unlock.formShown());
  ASSERT_TRUE(rig.loop.runUntil([&] { return lock->refusedPins == 1 && unlock.formShown(); }, 10000ms));
  EXPECT_NE(unlock.prompt()->challenge, first);
  EXPECT_TRUE(rig.host->state().locked);

  // The right one: the session starts again and the query chain runs.
  ASSERT_TRUE(unlock.submit(" 2468 "));
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 30000ms));
  EXPECT_FALSE(lock->locked);
  EXPECT_FALSE(rig.host->state().locked);
  EXPECT_EQ(rig.host->info().listCount, 2);
}

TEST(UnlockScenario, WithoutAUsableTableOrPinNothingIsSent) {
  TempDir dir;
  writeFile(dir / "digits.txt", fullTable("R-"));  // lacks two characters of the name
  Rig rig;
  sim::LockOptions options;
  options.pin = "2468";
  std::string error;
  options.table = operations::PinTable::parse(fullTable(), "t", error);
  auto lock = sim::installPassword(*rig.device, options);
  operations::PinUnlock unlock(*rig.host);
  rig.host->connectAttempt();
  // The recorder prompts with a challenge whose digits select "R" (0) and "-" (2) of "R5-12...".
  lock->challenge = "0200";
  ASSERT_TRUE(rig.loop.runUntil([&] { return unlock.prompt() && unlock.prompt()->challenge == "0200"; }, 10000ms));
  const auto pinLines = [&] {
    const auto lines = rig.linesSent();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return contains(l, "$R5,PIN,"); });
  };

  // No table configured: one sentence naming the setting.
  EXPECT_FALSE(unlock.submit("2468"));
  EXPECT_TRUE(contains(unlock.lastError(), "PinTable")) << unlock.lastError();
  // A table that lacks a character the challenge selects: refused, naming the file and the
  // character, never a guessed response.
  unlock.setTableFile(dir / "digits.txt");
  EXPECT_FALSE(unlock.submit("2468"));
  EXPECT_TRUE(contains(unlock.lastError(), (dir / "digits.txt").string())) << unlock.lastError();
  EXPECT_TRUE(contains(unlock.lastError(), "\"R\"")) << unlock.lastError();
  // A PIN that is not four digits is refused with the PIN rule.
  EXPECT_FALSE(unlock.submit("24 8"));
  EXPECT_EQ(unlock.lastError(), lang::text(TextId::PinRuleWithZero));
  EXPECT_FALSE(unlock.submit("246"));
  ASSERT_TRUE(rig.settle());
  EXPECT_EQ(pinLines(), 0);
  EXPECT_EQ(rig.ui.messages.size(), 4u);
  EXPECT_TRUE(rig.host->state().locked);

  // A challenge of keys the table holds (digits of the name) is answered, and it is right.
  lock->challenge = "3456";
  ASSERT_TRUE(rig.loop.runUntil([&] { return unlock.prompt()->challenge == "3456"; }, 10000ms));
  ASSERT_TRUE(unlock.submit("2468"));
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 30000ms));
  EXPECT_EQ(pinLines(), 1);
}
