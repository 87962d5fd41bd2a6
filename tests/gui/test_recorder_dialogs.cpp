// The maintenance, transmitter, password and PIN windows against the in-process simulated recorder:
// the password boxes' filtering by firmware, the transmitter's range, a format and a flash check
// followed to their end (and one abandoned), and the PIN form of a locked recorder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "DemoOptions.h"
#include "DemoRecorder.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "platform/GuiTexts.h"
#include "window/MainWindow.h"
#include "dialogs/MaintenanceProgressWindow.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/PinDialog.h"
#include "dialogs/RecorderCommands.h"
#include "SimMaintenance.h"
#include "SimPassword.h"
#include "SimTransmitter.h"
#include "dialogs/TransmitterDialog.h"
#include "controls/WaveformView.h"
#include "lang/Strings.h"

using namespace recdesk;
using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;
using recdesk::test::screenshot;

namespace {

struct RecorderDemo {
  test::TempDir dir;
  std::shared_ptr<sim::SimRecorder> device;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

  explicit RecorderDemo(sim::DeviceConfig config, const std::string& ini = {}) {
    guiApp();
    device = sim::makeDemoRecorder(config, 2);
    test::writeFile(dir / "recdesk.ini", ini);
  }
  void start() {
    GuiOptions options = test::demoOptions(dir);
    options.demoDevice = device;
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
    window->show();
    session->start();
  }
  ~RecorderDemo() {
    window.reset();
    session.reset();
  }
  RecorderCommands& commands() { return *window->recorderCommands(); }
  bool ready() {
    return processUntil([&] { return session->host().info().chainComplete; }, 30000);
  }
  // Runs `command` again every half second until `shown` (a command the session is too busy for is
  // not sent).
  bool runUntilShown(Command command, const std::function<bool()>& shown) {
    int waited = 0;
    while (waited < 20000) {
      window->runCommand(number(command));
      if (processUntil(shown, 500)) return true;
      waited += 500;
    }
    return false;
  }
};

void type(QWidget* box, const QString& text) {
  box->setFocus();
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(box, &press);
  }
}

// The visible message box whose text contains `part` (null when none).
QMessageBox* boxSaying(const QString& part) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text().contains(part))
      return box;
  return nullptr;
}

bool answer(const QString& part, QMessageBox::StandardButton button) {
  QMessageBox* box = nullptr;
  if (!processUntil([&] { return (box = boxSaying(part)) != nullptr; }, 5000)) return false;
  box->button(button)->click();
  return true;
}

sim::SimMaintenance::Schedule qtSchedule() {
  return [](std::chrono::nanoseconds delay, std::function<void()> call) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(delay).count();
    QTimer::singleShot(static_cast<int>(ms), qApp, std::move(call));
  };
}

}  // namespace

TEST(PasswordDialog, BoxesKeepOnlyTheDigitsTheFirmwareAllowsAndTheFullFormOffersTheDefault) {
  for (const bool capable : {false, true}) {
    SCOPED_TRACE(capable ? "capability 1" : "capability 0");
    sim::DeviceConfig config;
    config.version = capable ? "R5 1.2.0f,HW 3,2006-05-12" : "R5 0.4.0a,HW 3,2006-05-12";
    RecorderDemo demo(config);
    sim::LockOptions lock;
    lock.password = "1357";  // not the factory one: the full form
    auto state = sim::installPassword(*demo.device, lock);
    demo.start();
    ASSERT_TRUE(demo.ready());
    ASSERT_EQ(demo.session->host().info().firmwareCapability, capable);
    ASSERT_TRUE(demo.runUntilShown(Command::ResetPassword, [&] {
      return demo.commands().passwordDialog() && demo.commands().passwordDialog()->isVisible();
    }));
    PasswordDialog& d = *demo.commands().passwordDialog();
    using Box = operations::PasswordForm::Box;
    ASSERT_TRUE(d.box(Box::Old)->isVisible());

    // Each key the box refuses is taken out at once: a letter always, a 0 without the capability;
    // never more than four.
    type(d.box(Box::New), "1a2");
    EXPECT_EQ(d.box(Box::New)->text(), "12");
    d.box(Box::New)->clear();
    type(d.box(Box::New), "10234");
    EXPECT_EQ(d.box(Box::New)->text(), capable ? "1023" : "1234");
    screenshot(d, capable ? "password-full" : "password-full-no-zero");

    // The default password check box fills, clears and masks the new boxes.
    d.useDefaultBox()->setChecked(true);
    EXPECT_EQ(d.box(Box::New)->text(), "6284");
    EXPECT_FALSE(d.box(Box::Confirm)->isEnabled());
    EXPECT_EQ(d.box(Box::Confirm)->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(d.okButton()->text(), qtext(TextId::PasswordResetButton));
    d.useDefaultBox()->setChecked(false);
    EXPECT_TRUE(d.box(Box::New)->text().isEmpty());
    EXPECT_EQ(d.okButton()->text(), qtext(TextId::PasswordChangeButton));

    // A confirmation that differs is told and the form stays; a good one goes to the recorder.
    type(d.box(Box::Old), "1357");
    type(d.box(Box::New), "2468");
    type(d.box(Box::Confirm), "2469");
    d.okButton()->click();
    ASSERT_TRUE(answer(qtext(TextId::PasswordConfirmationDiffers), QMessageBox::Ok));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.box(Box::Confirm)->text().isEmpty());
    type(d.box(Box::Confirm), "2468");
    d.okButton()->click();
    EXPECT_FALSE(d.isVisible());
    ASSERT_TRUE(processUntil([&] { return state->changes == 1; }, 10000));
    EXPECT_EQ(state->options.password, "2468");
    EXPECT_TRUE(answer(qtext(TextId::PasswordChanged), QMessageBox::Ok));
  }
}

TEST(TransmitterDialog, AcceptsTheRangeEndsAndRefusesAFrequencyBelowIt) {
  sim::DeviceConfig config;
  config.model = sim::Model::T7;
  RecorderDemo demo(config);
  auto tx = sim::installTransmitter(*demo.device);
  demo.start();
  ASSERT_TRUE(processUntil([&] { return demo.session->host().state().transmitterPresent; }, 30000));
  ASSERT_TRUE(demo.runUntilShown(Command::Transmitter, [&] {
    return demo.commands().transmitterDialog() && demo.commands().transmitterDialog()->isVisible();
  }));
  TransmitterDialog& d = *demo.commands().transmitterDialog();
  EXPECT_EQ(d.frequencyBox()->text(), "162.4750");
  // The window takes input once the recorder is connected at its agreed speed.
  ASSERT_TRUE(processUntil([&] { return d.isEnabled(); }, 30000));
  EXPECT_TRUE(d.powerButton(operations::TransmitPower::High)->isChecked());
  EXPECT_TRUE(d.scramblerButton(operations::Scrambler::Off)->isChecked());

  // Enter applies; both ends of the range are taken.
  for (const double mhz : {150.0, 174.0}) {
    d.frequencyBox()->setText(QString::number(mhz));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(d.frequencyBox(), &enter);
    ASSERT_TRUE(processUntil([&] { return tx->frequencyHz == mhz * 1e6; }, 10000)) << mhz;
    ASSERT_TRUE(processUntil([&] { return demo.commands().transmitter().awaitingReplies() == 0; }, 10000))
        << demo.commands().transmitter().awaitingReplies() << " " << demo.commands().transmitter().queued();
    EXPECT_EQ(d.frequencyBox()->text(), QString::number(mhz, 'f', 4));
  }
  const auto sent = tx->commands;

  d.frequencyBox()->setText("149.9999");
  d.applyButton()->click();
  ASSERT_TRUE(answer(qtext(TextId::TransmitterFrequencyRefused), QMessageBox::Ok));
  EXPECT_TRUE(d.frequencyBox()->text().isEmpty());
  EXPECT_TRUE(d.isVisible());
  processUntil([] { return false; }, 200);
  EXPECT_EQ(tx->commands, sent);
  EXPECT_EQ(tx->frequencyHz, 174e6);

  // Apply again before the transmitter answered the last one: the later form wins and the model
  // ends with nothing awaited.
  auto& model = demo.commands().transmitter();
  for (const char* mhz : {"160", "165"}) {
    d.frequencyBox()->setText(mhz);
    d.applyButton()->click();
  }
  ASSERT_TRUE(processUntil([&] { return model.awaitingReplies() == 0 && model.queued() == 0; }, 10000))
      << model.awaitingReplies() << " " << model.queued();
  EXPECT_EQ(tx->frequencyHz, 165e6);
  EXPECT_TRUE(d.applyButton()->isEnabled());
}

TEST(MaintenanceWindows, FormatAndFlashCheckShowTheirProgressToTheEnd) {
  RecorderDemo demo(sim::DeviceConfig{});
  sim::SimMaintenanceOptions options;
  options.formatTime = std::chrono::milliseconds(600);
  options.checkPassTime = std::chrono::milliseconds(400);
  options.checkPasses = 2;
  options.progressSteps = 4;
  auto& maintenance = sim::SimMaintenance::install(*demo.device, options, qtSchedule());
  demo.start();
  ASSERT_TRUE(demo.ready());

  demo.window->runCommand(number(Command::Format));
  ASSERT_TRUE(answer(QString(), QMessageBox::Yes));  // the format question
  // A second question when recordings are not on disk.
  if (processUntil([] { return boxSaying(QString()) != nullptr; }, 300)) answer(QString(), QMessageBox::Yes);
  ASSERT_TRUE(processUntil(
      [&] { return demo.commands().progressWindow() && demo.commands().progressWindow()->isVisible(); },
      10000));
  MaintenanceProgressWindow& w = *demo.commands().progressWindow();
  EXPECT_TRUE(w.abandonButton()->isEnabled());
  screenshot(w, "format-progress");
  ASSERT_TRUE(processUntil([&] { return !w.isVisible(); }, 10000));
  EXPECT_EQ(maintenance.formats(), 1);
  EXPECT_TRUE(demo.session->operations().maintenance().progress().ended);
  ASSERT_TRUE(processUntil([&] { return !demo.session->host().state().formatting; }, 5000));

  // The check: its confirmation, then the passes one after the other up to the last.
  ASSERT_TRUE(processUntil([&] { return demo.session->host().info().chainComplete; }, 10000));
  demo.window->runCommand(number(Command::FlashCheck));
  ASSERT_TRUE(answer(qtext(TextId::FlashCheckErases), QMessageBox::Ok));
  if (processUntil([] { return boxSaying(qtext(TextId::FlashCheckIncompleteQuestion).left(20)) != nullptr; },
                   300))
    answer(qtext(TextId::FlashCheckIncompleteQuestion).left(20), QMessageBox::Yes);
  QString lastPass;
  ASSERT_TRUE(processUntil(
      [&] {
        if (w.isVisible() && !w.passText().isEmpty()) lastPass = w.passText();
        return lastPass == "2 of 2";
      },
      10000))
      << lastPass.toStdString();
  EXPECT_GT(w.bar()->maximum(), 0);
  screenshot(w, "flash-check-progress");
  ASSERT_TRUE(processUntil([&] { return !w.isVisible(); }, 10000));
  EXPECT_TRUE(answer(qtext(TextId::FlashCheckComplete), QMessageBox::Ok));
  EXPECT_EQ(maintenance.checks(), 1);
}

TEST(MaintenanceWindows, AFormatWithoutEndIsAbandonedAfterConfirmation) {
  RecorderDemo demo(sim::DeviceConfig{});
  sim::SimMaintenanceOptions options;
  options.neverEnd = true;
  sim::SimMaintenance::install(*demo.device, options, qtSchedule());
  demo.start();
  ASSERT_TRUE(demo.ready());
  demo.window->runCommand(number(Command::Format));
  ASSERT_TRUE(answer(QString(), QMessageBox::Yes));
  if (processUntil([] { return boxSaying(QString()) != nullptr; }, 300)) answer(QString(), QMessageBox::Yes);
  ASSERT_TRUE(processUntil(
      [&] { return demo.commands().progressWindow() && demo.commands().progressWindow()->isVisible(); },
      10000));
  MaintenanceProgressWindow& w = *demo.commands().progressWindow();
  // Declined: it goes on waiting; confirmed: the window goes and the session is free again.
  w.abandonButton()->click();
  ASSERT_TRUE(answer(qtext(TextId::AbandonMaintenanceQuestion).left(30), QMessageBox::No));
  EXPECT_TRUE(w.isVisible());
  w.abandonButton()->click();
  ASSERT_TRUE(answer(qtext(TextId::AbandonMaintenanceQuestion).left(30), QMessageBox::Yes));
  ASSERT_TRUE(processUntil([&] { return !w.isVisible(); }, 5000));
  EXPECT_TRUE(demo.session->operations().maintenance().progress().abandoned);
  EXPECT_FALSE(demo.session->host().state().formatting);
}

TEST(PinDialog, ALockedRecorderAsksForItsPinAndIsUnlocked) {
  test::TempDir tables;
  // Every printable key but "#"; response digit = (PIN digit + key code) mod 10.
  std::string table = "# test table\n";
  for (int k = 0x21; k < 0x7F; ++k) {
    if (k == '#') continue;
    table += static_cast<char>(k);
    table += '=';
    for (int p = 0; p < 10; ++p) table += static_cast<char>('0' + (p + k) % 10);
    table += '\n';
  }
  test::writeFile(tables / "pin.txt", table);
  RecorderDemo demo(sim::DeviceConfig{}, "[Options]\nPinTable=" + (tables / "pin.txt").string() + "\n");
  sim::LockOptions lock;
  lock.pin = "2468";
  std::string error;
  lock.table = operations::PinTable::load(tables / "pin.txt", error);
  ASSERT_TRUE(lock.table) << error;
  auto state = sim::installPassword(*demo.device, lock);
  demo.start();
  ASSERT_TRUE(processUntil(
      [&] { return demo.commands().pinDialog() && demo.commands().pinDialog()->isVisible(); }, 30000));
  PinDialog& d = *demo.commands().pinDialog();
  EXPECT_TRUE(d.isEnabled());
  EXPECT_FALSE(d.isModal());
  // A PIN that is not four digits stays in the form; a wrong one is sent and the recorder asks again.
  type(d.pinBox(), "24");
  d.okButton()->click();
  ASSERT_TRUE(answer(qtext(TextId::PinRuleWithZero), QMessageBox::Ok));
  EXPECT_TRUE(d.isVisible());
  d.pinBox()->clear();
  type(d.pinBox(), "1357");
  d.okButton()->click();
  ASSERT_TRUE(processUntil([&] { return state->refusedPins == 1 && d.isVisible(); }, 10000));
  EXPECT_TRUE(d.pinBox()->text().isEmpty());
  type(d.pinBox(), "2468");
  d.okButton()->click();
  ASSERT_TRUE(processUntil([&] { return !state->locked; }, 10000));
  EXPECT_FALSE(d.isVisible());
  ASSERT_TRUE(processUntil([&] { return !demo.session->host().state().locked; }, 10000));
}

TEST(RecorderCommands, LedMarksInformationBoxesAndTheLevelPreviewOfTheSelectedRecording) {
  RecorderDemo demo(sim::DeviceConfig{});
  demo.device = nullptr;  // the program's own demo recorder, with its recordings to preview
  demo.start();
  ASSERT_TRUE(demo.ready());
  MainWindow& w = *demo.window;

  // The LED submenu marks the mode the recorder acknowledged, and only it.
  w.runCommand(number(Command::Led2));
  ASSERT_TRUE(processUntil([&] { return w.action(Command::Led2)->isChecked(); }, 5000));
  w.runCommand(number(Command::Led3));
  ASSERT_TRUE(processUntil([&] { return w.action(Command::Led3)->isChecked(); }, 5000));
  EXPECT_FALSE(w.action(Command::Led2)->isChecked());
  EXPECT_FALSE(w.action(Command::Led1)->isChecked());

  w.runCommand(number(Command::DeviceInfo));
  EXPECT_TRUE(answer(qtext(TextId::Firmware) + ": ", QMessageBox::Ok));

  // A click in the empty level display fetches the selected recording's first pages and draws them.
  auto* view = w.control(Control::Waveform);
  ASSERT_NE(view, nullptr);
  auto* levels = qobject_cast<WaveformView*>(view);
  ASSERT_NE(levels, nullptr);
  EXPECT_FALSE(levels->hasData());
  const QPointF at(view->width() / 2.0, view->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(view, &press);
  ASSERT_TRUE(processUntil([&] { return levels->hasData(); }, 20000));
  EXPECT_TRUE(demo.session->operations().preview().result().complete);
  screenshot(w, "main-window-level-preview");
}
