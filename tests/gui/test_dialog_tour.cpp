// A tour of the main window's menus against the program's own demo recorder, as a user takes it: each
// command is chosen from its menu item, what it opens is looked at (and photographed in the
// screenshot run) and closed again with Escape, or what it runs is followed to its end. The tour
// covers an R5, the reduced R5U, an R6 and the T7 transmitter, and the recorder that greets the user
// locked, with its timer armed or with its clock off.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>

#include "DemoPinTable.h"
#include "DemoTour.h"
#include "dialogs/ClockController.h"
#include "dialogs/ClockDialog.h"
#include "dialogs/OptionsDialog.h"
#include "dialogs/SettingsCommands.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/PinDialog.h"
#include "dialogs/RecorderCommands.h"
#include "dialogs/TimerProgrammeDialog.h"
#include "dialogs/TransmitterDialog.h"
#include "platform/GuiTexts.h"
#include "window/CommsLogWindow.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

using namespace recdesk;
using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;
using recdesk::test::screenshot;

namespace {

using test::Tour;
using test::TourOptions;
using test::kWaitMs;
using test::escape;
using test::asBox;
using test::opensAndLeaves;
using test::boxText;
using test::clickButton;
using test::expectNothingClipped;

}  // namespace

// ---- an R5: every menu item --------------------------------------------------------------------------

TEST(DialogTour, EveryMenuCommandOfAnR5OpensItsWindowOrRunsAndIsLeftAgain) {
  Tour tour({});
  ASSERT_TRUE(tour.connected());
  MainWindow& w = *tour.window;
  ASSERT_TRUE(processUntil([&] { return w.recordingList()->topLevelItemCount() == 3; }, kWaitMs));

  // Recorder: read the list again.
  const std::size_t lists = tour.linesSent("$R5,LST\r\n");
  ASSERT_TRUE(tour.choose(Command::ReadList));
  ASSERT_TRUE(processUntil([&] { return tour.linesSent("$R5,LST\r\n") == lists + 1; }, 5000));
  ASSERT_TRUE(tour.connected());
  ASSERT_TRUE(processUntil([&] { return w.recordingList()->topLevelItemCount() == 3; }, kWaitMs));

  // The clock window: both clocks running; Escape hides it.
  {
    QWidget* d = tour.open(Command::Clock);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d, w.clockController()->clockDialog());
    EXPECT_TRUE(d->isEnabled());
    EXPECT_FALSE(w.clockController()->clockDialog()->recorderClockLabel()->text().isEmpty());
    expectNothingClipped(d);
    screenshot(*d, "clock");
    EXPECT_TRUE(escape(d));
    // Opened again, it is the same window.
    ASSERT_EQ(tour.open(Command::Clock), d);
    EXPECT_TRUE(escape(d));
  }

  // The timer programme: its rows, the totals and OK; Escape closes it without writing.
  {
    QWidget* d = tour.open(Command::TimerProgramme);
    ASSERT_NE(d, nullptr);
    auto* programme = w.clockController()->programmeDialog();
    ASSERT_EQ(d, programme);
    EXPECT_TRUE(programme->isEnabled());
    EXPECT_FALSE(programme->clockLabel()->text().isEmpty());
    expectNothingClipped(d);
    screenshot(*d, "timer-programme");
    EXPECT_TRUE(escape(d));
    EXPECT_EQ(tour.linesSent("$R5,TMR,ON\r\n"), 0u);
  }

  // The password: the demo recorder has the factory password, so the short form comes.
  {
    QWidget* d = tour.open(Command::ResetPassword);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d, w.recorderCommands()->passwordDialog());
    expectNothingClipped(d);
    screenshot(*d, "new-password");
    EXPECT_TRUE(escape(d));
  }

  // Diagnostics: the three information boxes.
  {
    QWidget* box = tour.open(Command::DeviceInfo);
    ASSERT_NE(asBox(box), nullptr);
    EXPECT_TRUE(boxText(box).contains(qtext(TextId::Firmware))) << boxText(box).toStdString();
    screenshot(*box, "device-information");
    EXPECT_TRUE(escape(box));

    box = tour.open(Command::FlashInfo);
    ASSERT_NE(asBox(box), nullptr);
    EXPECT_TRUE(boxText(box).contains("1024 MB")) << boxText(box).toStdString();
    screenshot(*box, "flash-information");
    EXPECT_TRUE(escape(box));

    box = tour.open(Command::AdapterInfo);
    ASSERT_NE(asBox(box), nullptr);
    EXPECT_FALSE(boxText(box).trimmed().isEmpty());
    screenshot(*box, "adapter-information");
    EXPECT_TRUE(escape(box));
  }

  // The bad-block scan runs and tells its count.
  {
    QWidget* box = tour.open(Command::BadBlockScan, kWaitMs);
    ASSERT_NE(asBox(box), nullptr);
    EXPECT_TRUE(boxText(box).contains(qtext(TextId::BadBlocksFound).left(10))) << boxText(box).toStdString();
    screenshot(*box, "bad-block-scan");
    EXPECT_TRUE(escape(box));
    ASSERT_TRUE(tour.idle());
  }

  // The flash check asks first; Escape declines and nothing is sent.
  {
    QWidget* box = tour.open(Command::FlashCheck);
    ASSERT_NE(asBox(box), nullptr);
    screenshot(*box, "flash-check-question");
    EXPECT_TRUE(escape(box));
    processUntil([] { return false; }, 300);
    EXPECT_EQ(tour.linesSent("$R5,CHK\r\n"), 0u);
  }

  // The format asks too; No declines.
  {
    QWidget* box = tour.open(Command::Format);
    ASSERT_NE(asBox(box), nullptr);
    screenshot(*box, "format-question");
    clickButton(box, QMessageBox::No);
    processUntil([] { return false; }, 300);
    EXPECT_EQ(tour.linesSent("$R5,FMT\r\n"), 0u);
  }

  // The test mode item is offered only by a recorder in test mode (the demo recorder is not).
  EXPECT_FALSE(tour.enabled(Command::TestModeOff));

  // The LED tests: the acknowledged mode carries the only check mark.
  for (const Command led : {Command::Led1, Command::Led3, Command::Led2}) {
    ASSERT_TRUE(tour.choose(led));
    ASSERT_TRUE(processUntil([&] { return tour.item(led)->isChecked(); }, 5000));
    int marks = 0;
    for (const Command other : {Command::Led1, Command::Led2, Command::Led3}) marks += tour.item(other)->isChecked();
    EXPECT_EQ(marks, 1);
  }

  // No transmitter answered: its item stays off.
  EXPECT_FALSE(tour.enabled(Command::Transmitter));

  // Settings: the Options, with the block count's own dialog inside; the restrictions.
  {
    QWidget* d = tour.open(Command::Options);
    ASSERT_NE(d, nullptr);
    expectNothingClipped(d);
    screenshot(*d, "options-dialog");
    OptionsDialog* options = w.settingsCommands()->optionsDialog();
    ASSERT_EQ(d, options);
    const QSet<QWidget*> before = tour.shownWindows();
    options->accelerationButton()->click();
    QWidget* acceleration = tour.waitForNewWindow(before);
    ASSERT_NE(acceleration, nullptr);
    expectNothingClipped(acceleration);
    screenshot(*acceleration, "acceleration-dialog");
    EXPECT_TRUE(escape(acceleration));
    EXPECT_TRUE(options->isVisible());
    EXPECT_TRUE(escape(d));

    d = tour.open(Command::Restrictions);
    ASSERT_NE(d, nullptr);
    expectNothingClipped(d);
    screenshot(*d, "restrictions-dialog");
    EXPECT_TRUE(escape(d));
  }

  // ---- PROFILE EDITOR (its dialog: src/gui/dialogs/ProfileEditor*) ----
  // Until the dialog exists the command opens nothing and the tour goes on; once it does, it is
  // photographed and left with Escape like the others. Its own checks belong here.
  {
    ASSERT_TRUE(tour.enabled(Command::Profiles));
    if (QWidget* d = tour.open(Command::Profiles, 2000)) {
      expectNothingClipped(d);
      screenshot(*d, "profile-editor");
      EXPECT_TRUE(escape(d));
    }
  }

  // The communications log: the item carries a check mark while the window is shown.
  {
    const bool shown = w.logWindow()->isVisible();
    ASSERT_TRUE(tour.choose(Command::CommsLog));
    ASSERT_TRUE(processUntil([&] { return w.logWindow()->isVisible() != shown; }, 5000));
    EXPECT_EQ(tour.item(Command::CommsLog)->isChecked(), !shown);
    if (!shown) screenshot(*w.logWindow(), "comms-log");
    ASSERT_TRUE(tour.choose(Command::CommsLog));
    ASSERT_TRUE(processUntil([&] { return w.logWindow()->isVisible() == shown; }, 5000));
    EXPECT_EQ(tour.item(Command::CommsLog)->isChecked(), shown);
  }

  // File: open a recording, convert and filter each offer their file choice.
  for (const Command c : {Command::OpenFile, Command::Convert, Command::Filter}) {
    QWidget* d = tour.open(c);
    ASSERT_NE(d, nullptr) << number(c);
    if (c == Command::Filter) {
      expectNothingClipped(d);
      screenshot(*d, "filter-dialog");
    }
    EXPECT_TRUE(escape(d)) << number(c);
  }

  // Help: the guide (not installed beside the test: the user is told) and the about box.
  {
    QWidget* box = tour.open(Command::Guide);
    ASSERT_NE(asBox(box), nullptr);
    EXPECT_EQ(boxText(box), qtext(TextId::GuideNotFound));
    EXPECT_TRUE(escape(box));

    QWidget* about = tour.open(Command::About);
    ASSERT_NE(about, nullptr);
    expectNothingClipped(about);
    screenshot(*about, "about");
    EXPECT_TRUE(escape(about));
  }

  // The download of the selected recordings runs and is stopped again with its button.
  {
    w.recordingList()->selectAll();
    ASSERT_TRUE(processUntil([&] { return tour.enabled(Command::Download); }, 5000));
    ASSERT_TRUE(tour.choose(Command::Download));
    ASSERT_TRUE(processUntil([&] { return tour.session->host().state().downloading; }, 10000));
    auto* button = qobject_cast<QPushButton*>(w.control(Control::Download));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isChecked());
    EXPECT_TRUE(button->isEnabled());
    button->click();
    ASSERT_TRUE(processUntil([&] { return !tour.session->host().state().downloading; }, kWaitMs));
    ASSERT_TRUE(tour.idle());
  }

  // Nothing the tour opened is left open.
  EXPECT_TRUE(tour.shownWindows().isEmpty());
}

// ---- the reduced R5U ---------------------------------------------------------------------------------

TEST(DialogTour, TheReducedVariantOffersItsBuiltInProfilesAndNotTheItemsItLacks) {
  Tour tour({"R5U"});
  ASSERT_TRUE(tour.connected());
  MainWindow& w = *tour.window;
  ASSERT_TRUE(processUntil([&] { return !tour.enabled(Command::TimerProgramme) && tour.enabled(Command::Clock); },
                           5000));
  for (const Command c : {Command::Profiles, Command::Restrictions, Command::TimerProgramme, Command::ResetPassword,
                          Command::DeviceInfo, Command::FlashInfo, Command::BadBlockScan})
    EXPECT_FALSE(tour.enabled(c)) << number(c);
  EXPECT_FALSE(tour.choose(Command::TimerProgramme));

  // The profile drop-down holds the recorder's built-in profiles.
  auto* profiles = qobject_cast<QComboBox*>(w.control(Control::ProfileChoice));
  ASSERT_NE(profiles, nullptr);
  EXPECT_GT(profiles->count(), 0);
  EXPECT_TRUE(profiles->isEnabled());
  // The recorder's recording type names one of them, which is selected.
  EXPECT_EQ(profiles->currentText(), qtext(TextId::ProfileSpeechMono));
  screenshot(w, "main-window-reduced");

  // What it has works as on an R5.
  ASSERT_TRUE(opensAndLeaves(tour, Command::Clock));
  ASSERT_TRUE(opensAndLeaves(tour, Command::Options));
}

// ---- an R6 -------------------------------------------------------------------------------------------

TEST(DialogTour, AnR6ShowsItsInformationAndClock) {
  Tour tour({"R6"});
  ASSERT_TRUE(tour.connected());
  QWidget* box = tour.open(Command::DeviceInfo);
  ASSERT_NE(asBox(box), nullptr);
  EXPECT_TRUE(boxText(box).contains("R6")) << boxText(box).toStdString();
  EXPECT_TRUE(escape(box));
  ASSERT_TRUE(opensAndLeaves(tour, Command::Clock));
  ASSERT_TRUE(opensAndLeaves(tour, Command::TimerProgramme));
}

// ---- the T7 transmitter ------------------------------------------------------------------------------

TEST(DialogTour, TheTransmitterIsConfiguredFromItsMenu) {
  Tour tour({"T7"});
  ASSERT_TRUE(tour.transmitterSettled());
  QWidget* d = tour.open(Command::Transmitter);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d, tour.window->recorderCommands()->transmitterDialog())
      << d->metaObject()->className() << " " << boxText(d).toStdString();
  EXPECT_TRUE(d->isEnabled());
  expectNothingClipped(d);
  screenshot(*d, "transmitter");
  EXPECT_TRUE(escape(d));
  // Chosen again it opens again (the same window).
  EXPECT_EQ(tour.open(Command::Transmitter), d);
  EXPECT_TRUE(escape(d));
}

// ---- recorders that greet the user with a question -----------------------------------------------------

TEST(DialogTour, ALockedRecorderAsksForItsPinAndTheDemoPinOpensIt) {
  Tour tour({"R5", true});
  PinDialog* pin = nullptr;
  ASSERT_TRUE(processUntil(
      [&] { return (pin = tour.window->recorderCommands()->pinDialog()) != nullptr && pin->isVisible(); }, kWaitMs));
  // Locked: the recorder's buttons rest.
  for (const Control c : {Control::Format, Control::RecordStart, Control::Download})
    EXPECT_FALSE(tour.window->control(c)->isEnabled()) << number(c);
  expectNothingClipped(pin);
  screenshot(*pin, "pin");
  pin->pinBox()->setText(QString::fromLatin1(sim::kDemoPin));
  pin->okButton()->click();
  ASSERT_TRUE(tour.connected());
  EXPECT_FALSE(pin->isVisible());
  ASSERT_TRUE(processUntil([&] { return tour.enabled(Command::Clock); }, 5000));
}

TEST(DialogTour, AnArmedTimerIsToldAndOkDisarmsIt) {
  Tour tour({"R5", false, true});
  QMessageBox* notice = nullptr;
  ASSERT_TRUE(processUntil(
      [&] { return (notice = asBox(tour.session->ui().openBox(ports::Topic::TimerNotice))) != nullptr; }, kWaitMs));
  for (const Control c : {Control::Format, Control::RecordStart})
    EXPECT_FALSE(tour.window->control(c)->isEnabled()) << number(c);
  screenshot(*notice, "timer-notice");
  clickButton(notice, QMessageBox::Ok);
  ASSERT_TRUE(tour.connected());
  EXPECT_FALSE(tour.session->host().state().timerArmed);
  ASSERT_TRUE(processUntil([&] { return tour.enabled(Command::Clock); }, 5000));
}

TEST(DialogTour, AClockTwoMinutesOffIsOfferedToBeSet) {
  Tour tour({"R5", false, false, 120});
  QMessageBox* question = nullptr;
  ASSERT_TRUE(processUntil(
      [&] { return (question = asBox(tour.session->ui().openBox(ports::Topic::ClockDifference))) != nullptr; },
      kWaitMs));
  ASSERT_NE(question->checkBox(), nullptr);
  screenshot(*question, "clock-difference");
  // OK opens the clock window with a fresh reading, where the clock is set.
  clickButton(question, QMessageBox::Ok);
  ClockDialog* clock = nullptr;
  ASSERT_TRUE(processUntil(
      [&] { return (clock = tour.window->clockController()->clockDialog()) != nullptr && clock->isVisible(); },
      kWaitMs));
  EXPECT_TRUE(escape(clock));
}
