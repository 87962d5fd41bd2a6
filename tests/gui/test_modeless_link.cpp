// The modeless windows over a lost link: the demo recorder's cable is pulled while each is open and
// put back. The windows are made once and kept: one that shows what the recorder does stays,
// disabled, until the recorder answers again; one that belongs to a conversation with the recorder
// that went (the clock) is hidden and opens as the same window later. Meanwhile the session goes on
// trying to reconnect.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DemoTour.h"
#include "dialogs/ClockController.h"
#include "dialogs/ClockDialog.h"
#include "dialogs/PinDialog.h"
#include "dialogs/RecorderCommands.h"
#include "dialogs/TimerProgrammeDialog.h"
#include "dialogs/TransmitterDialog.h"
#include "DemoPinTable.h"
#include "SimTransmitter.h"

using namespace recdesk;
using namespace recdesk::gui;
using recdesk::test::processUntil;
using test::kWaitMs;
using test::Tour;

namespace {

// Pulls the cable and waits until the session has noticed, then lets a few connect attempts go by.
bool pull(Tour& tour) {
  tour.session->demoLink()->unplug();
  if (!processUntil([&] { return !tour.session->host().linkOpen(); }, 5000)) return false;
  processUntil([] { return false; }, 2500);
  return !tour.session->host().linkOpen();
}

void putBack(Tour& tour) { tour.session->demoLink()->faults().unplugged = false; }

// Puts the cable back and waits until `window` takes input again; false when it did so before the
// recorder was connected at its agreed speed.
bool enabledOnceConnected(Tour& tour, QWidget* window) {
  putBack(tour);
  bool early = false;
  const bool enabled = processUntil(
      [&] {
        const auto& host = tour.session->host();
        if (window->isEnabled() && (host.speedChanging() || !host.state().connected)) early = true;
        return window->isEnabled();
      },
      kWaitMs);
  return enabled && !early;
}

}  // namespace

TEST(ModelessOverLink, TheTransmitterWindowWaitsDisabledAndTakesCommandsAgain) {
  Tour tour({"T7"});
  ASSERT_TRUE(tour.transmitterSettled());
  QWidget* d = tour.open(Command::Transmitter);
  ASSERT_NE(d, nullptr);
  auto* tx = tour.window->recorderCommands()->transmitterDialog();
  ASSERT_EQ(d, tx);

  ASSERT_TRUE(pull(tour));
  EXPECT_TRUE(tx->isVisible());
  EXPECT_FALSE(tx->isEnabled());
  EXPECT_FALSE(tour.session->host().state().running);

  ASSERT_TRUE(enabledOnceConnected(tour, tx));
  ASSERT_TRUE(tour.transmitterSettled());
  EXPECT_TRUE(tx->isVisible());
  EXPECT_EQ(tour.window->recorderCommands()->transmitterDialog(), tx);
  // Its Apply reaches the transmitter again.
  const std::size_t before = tour.linesSent("$T7,FRQ,160000000\r\n");
  tx->frequencyBox()->setText("160");
  tx->applyButton()->click();
  EXPECT_TRUE(processUntil([&] { return tour.linesSent("$T7,FRQ,160000000\r\n") == before + 1; }, 10000));
  EXPECT_TRUE(test::escape(tx));
}

TEST(ModelessOverLink, ThePinFormWaitsDisabledAndTheRecorderAsksAgain) {
  Tour tour({"R5", true});
  PinDialog* pin = nullptr;
  ASSERT_TRUE(processUntil(
      [&] { return (pin = tour.window->recorderCommands()->pinDialog()) != nullptr && pin->isVisible(); }, kWaitMs));
  ASSERT_TRUE(pin->isEnabled());
  auto& unlock = tour.window->recorderCommands()->pinUnlock();
  const std::size_t prompts = unlock.promptsSeen();

  ASSERT_TRUE(pull(tour));
  EXPECT_FALSE(pin->isEnabled());

  ASSERT_TRUE(enabledOnceConnected(tour, pin));
  ASSERT_TRUE(processUntil([&] { return pin->isVisible(); }, kWaitMs));
  EXPECT_EQ(tour.window->recorderCommands()->pinDialog(), pin);
  // The recorder asks again on the new link (with a new challenge).
  ASSERT_TRUE(processUntil(
      [&] { return unlock.promptsSeen() > prompts && !tour.session->host().sending(); }, kWaitMs));
  pin->pinBox()->setText(QString::fromLatin1(sim::kDemoPin));
  pin->okButton()->click();
  ASSERT_TRUE(tour.connected());
  EXPECT_FALSE(pin->isVisible());
}

TEST(ModelessOverLink, TheTimerProgrammeWaitsDisabledAndIsReadAgainWhenTheRecorderIsBack) {
  Tour tour({});
  ASSERT_TRUE(tour.connected());
  QWidget* d = tour.open(Command::TimerProgramme);
  ASSERT_NE(d, nullptr);
  auto* programme = tour.window->clockController()->programmeDialog();
  ASSERT_EQ(d, programme);
  ASSERT_TRUE(programme->isEnabled());
  const int rows = programme->rowsShown();
  const std::size_t reads = tour.linesSent("$R5,TMR,PGM\r\n");

  ASSERT_TRUE(pull(tour));
  EXPECT_TRUE(programme->isVisible());
  EXPECT_FALSE(programme->isEnabled());
  EXPECT_EQ(programme->freeLabel()->text(), "00:00:00");

  putBack(tour);
  ASSERT_TRUE(processUntil([&] { return programme->isEnabled(); }, kWaitMs));
  EXPECT_TRUE(programme->isVisible());
  EXPECT_EQ(tour.linesSent("$R5,TMR,PGM\r\n"), reads + 1);
  EXPECT_EQ(programme->rowsShown(), rows);
  EXPECT_NE(programme->freeLabel()->text(), "00:00:00");
  EXPECT_TRUE(test::escape(programme));
}

TEST(ModelessOverLink, TheClockWindowIsHiddenWithTheSessionAndOpensAsTheSameWindow) {
  Tour tour({});
  ASSERT_TRUE(tour.connected());
  QWidget* d = tour.open(Command::Clock);
  ASSERT_NE(d, nullptr);
  ClockDialog* clock = tour.window->clockController()->clockDialog();
  ASSERT_EQ(d, clock);

  ASSERT_TRUE(pull(tour));
  EXPECT_FALSE(clock->isVisible());
  EXPECT_FALSE(tour.enabled(Command::Clock));

  putBack(tour);
  ASSERT_TRUE(tour.connected());
  ASSERT_TRUE(processUntil([&] { return tour.enabled(Command::Clock); }, 5000));
  EXPECT_EQ(tour.open(Command::Clock), clock);
  EXPECT_TRUE(clock->isEnabled());
  EXPECT_TRUE(test::escape(clock));
}
