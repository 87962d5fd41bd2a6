// The clock window, the clock-difference question, the timer programme window and the timer notice
// against the built-in simulated recorder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

#include "DemoOptions.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "dialogs/ClockController.h"
#include "dialogs/ClockDialog.h"
#include "dialogs/TimerProgrammeDialog.h"
#include "operations/PinTable.h"

using namespace recdesk;
using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

namespace {

constexpr int kClockWaitMs = 30000;

struct ClockDemo {
  test::TempDir dir;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

  explicit ClockDemo(long long clockOffset = 0, bool armed = false, std::time_t frozenWall = 0, const char* model = "R5",
                bool locked = false) {
    guiApp();
    GuiOptions options = test::demoOptions(dir);
    options.demoClockOffset = clockOffset;
    options.demoTimerArmed = armed;
    options.demoModel = model;
    options.demoLocked = locked;
    session = std::make_unique<GuiSession>(options);
    if (frozenWall) session->host().setWallClock([frozenWall] { return frozenWall; });
    window = std::make_unique<MainWindow>(*session);
    window->show();
    session->start();
  }
  ~ClockDemo() {
    window.reset();
    session.reset();
  }
  ClockController& controller() { return *window->clockController(); }
  QMessageBox* box(ports::Topic topic) { return qobject_cast<QMessageBox*>(session->ui().openBox(topic)); }
  QMessageBox* waitForBox(ports::Topic topic) {
    processUntil([&] { return box(topic) != nullptr; }, kClockWaitMs);
    return box(topic);
  }
  bool connected() {
    return processUntil([&] { return session->host().info().chainComplete; }, kClockWaitMs);
  }
};

void click(QMessageBox* box, QMessageBox::StandardButton which) {
  ASSERT_NE(box, nullptr);
  ASSERT_NE(box->button(which), nullptr);
  box->button(which)->click();
}

}  // namespace

TEST(ClockDifference, CheckBoxIsStoredWhicheverButtonAndNothingOnTimeOut) {
  {  // Cancel with the box ticked: stored, and the clock is left as it is.
    ClockDemo demo(120);
    QMessageBox* q = demo.waitForBox(ports::Topic::ClockDifference);
    ASSERT_NE(q, nullptr);
    ASSERT_NE(q->checkBox(), nullptr);
    q->checkBox()->setChecked(true);
    click(q, QMessageBox::Cancel);
    EXPECT_TRUE(demo.session->settings().ignoreRtc);
    EXPECT_EQ(demo.box(ports::Topic::ClockDifference), nullptr);
    EXPECT_EQ(demo.controller().clockDialog(), nullptr);
  }
  {  // OK with the box clear: stored as clear, and the clock window opens to set the clock.
    ClockDemo demo(120);
    demo.session->settings().ignoreRtc = false;
    QMessageBox* q = demo.waitForBox(ports::Topic::ClockDifference);
    ASSERT_NE(q, nullptr);
    demo.session->settings().ignoreRtc = true;  // the answer, not what was there, decides
    click(q, QMessageBox::Ok);
    EXPECT_FALSE(demo.session->settings().ignoreRtc);
    ASSERT_TRUE(processUntil([&] { return demo.controller().clockDialog() && demo.controller().clockDialog()->isVisible(); },
                             kClockWaitMs));
  }
  {  // No answer within its time: the box goes, nothing is stored, and a late answer changes nothing.
    ClockDemo demo(120);
    QMessageBox* q = demo.waitForBox(ports::Topic::ClockDifference);
    ASSERT_NE(q, nullptr);
    ASSERT_TRUE(demo.session->loop().timerActive(operations::kTimerClockQuestion));
    q->checkBox()->setChecked(true);
    demo.session->host().onTimer(operations::kTimerClockQuestion);  // the 30 s have passed
    EXPECT_EQ(demo.box(ports::Topic::ClockDifference), nullptr);
    EXPECT_FALSE(demo.controller().clock().differenceQuestionOpen());
    processUntil([] { return false; }, 100);
    EXPECT_FALSE(demo.session->settings().ignoreRtc);
  }
}

TEST(ClockDialog, ShowsBothClocksAndSetsTheRecorderToThisComputer) {
  ClockDemo demo(120);
  QMessageBox* q = demo.waitForBox(ports::Topic::ClockDifference);
  ASSERT_NE(q, nullptr);
  click(q, QMessageBox::Cancel);
  demo.window->runCommand(number(Command::Clock));
  ASSERT_TRUE(processUntil([&] { return demo.controller().clockDialog() && demo.controller().clockDialog()->isVisible(); },
                           kClockWaitMs));
  ClockDialog& d = *demo.controller().clockDialog();
  EXPECT_NE(d.recorderClockLabel()->text(), d.computerClockLabel()->text());  // two minutes apart
  EXPECT_TRUE(d.useComputerClockBox()->isChecked());
  EXPECT_FALSE(d.picker()->isEnabled());
  const auto before = demo.controller().clock().readings();
  d.setButton()->click();
  ASSERT_TRUE(processUntil([&] { return demo.controller().clock().readings() > before; }, kClockWaitMs));
  const auto& model = demo.controller().clock().model();
  const auto diff = operations::civilSeconds(model.reading) - operations::civilSeconds(demo.controller().clock().computerNow());
  EXPECT_LE(std::llabs(diff), 2);
  // Closing hides it; the same window comes back on the next command.
  d.reject();
  EXPECT_FALSE(d.isVisible());
  EXPECT_FALSE(model.visible);
  demo.window->runCommand(number(Command::Clock));
  ASSERT_TRUE(processUntil([&] { return d.isVisible(); }, kClockWaitMs));
  EXPECT_EQ(demo.controller().clockDialog(), &d);
}

TEST(TimerProgrammeDialog, TotalsForARowUnderWayAndAProgrammeOneSecondOverTheFreeTime) {
  const std::time_t wall = std::time(nullptr);
  ClockDemo demo(0, false, wall);  // this computer's clock stands still: the totals do not move
  ASSERT_TRUE(demo.connected());
  demo.window->runCommand(number(Command::TimerProgramme));
  ASSERT_TRUE(processUntil(
      [&] { return demo.controller().programmeDialog() && demo.controller().programmeDialog()->isVisible(); }, kClockWaitMs));
  TimerProgrammeDialog& d = *demo.controller().programmeDialog();
  const auto& model = demo.controller().programme().model();
  ASSERT_GE(d.rowsShown(), 2);
  EXPECT_EQ(static_cast<std::size_t>(d.rowsShown()), model.rowCount());
  // Nothing still to record: OK is not offered.
  EXPECT_EQ(d.pendingLabel()->text(), "00:00:00");
  EXPECT_FALSE(d.okButton()->isEnabled());

  // A one-hour entry that started ten minutes ago counts what is left of it.
  const QDateTime now = QDateTime::fromString(QString::fromStdString(session::clockText(model.recorderNow(wall))),
                                              QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  ASSERT_TRUE(now.isValid()) << session::clockText(model.recorderNow(wall));
  d.startEdit(0)->setDateTime(now.addSecs(-600));
  d.lengthEdit(0)->setValue(3600);
  d.tick();
  EXPECT_EQ(d.pendingLabel()->text(), "00:50:00");
  EXPECT_TRUE(d.rowNumber(0)->isEnabled());
  EXPECT_FALSE(d.rowNumber(1)->isEnabled());
  EXPECT_TRUE(d.okButton()->isEnabled());

  // One second more than the free recording time: shown negative, and writing asks first.
  ASSERT_TRUE(model.freeSeconds.has_value());
  std::uint64_t needed = *model.freeSeconds + 1;
  QDateTime start = now.addSecs(60);
  for (int row = 0; row < d.rowsShown() && needed > 0; ++row) {
    const auto length = std::min<std::uint64_t>(needed, operations::kMaxTimerDuration);
    d.startEdit(row)->setDateTime(start);
    d.lengthEdit(row)->setValue(static_cast<int>(length));
    start = start.addSecs(static_cast<qint64>(length));
    needed -= length;
  }
  ASSERT_EQ(needed, 0u) << "the demo recorder's free time is longer than its rows can hold";
  d.tick();
  EXPECT_EQ(d.freeAfterLabel()->text(), "-00:00:01");
  EXPECT_EQ(d.pendingLabel()->text().toStdString(), operations::timerSpanText(static_cast<std::int64_t>(*model.freeSeconds + 1)));
  d.okButton()->click();
  QMessageBox* ask = demo.waitForBox(ports::Topic::TimerOverFree);
  ASSERT_NE(ask, nullptr);
  click(ask, QMessageBox::No);
  processUntil([] { return false; }, 100);
  EXPECT_FALSE(demo.session->host().state().timerArmed);
  EXPECT_TRUE(d.isVisible());  // nothing written: the window stays for another try
}

TEST(TimerNotice, OkDisarmsAndCancelQuitsLeavingTheTimerArmed) {
  {
    ClockDemo demo(0, true);
    QMessageBox* notice = demo.waitForBox(ports::Topic::TimerNotice);
    ASSERT_NE(notice, nullptr);
    click(notice, QMessageBox::Ok);
    EXPECT_TRUE(processUntil([&] { return !demo.session->host().state().timerArmed; }, kClockWaitMs));
    EXPECT_TRUE(demo.window->isVisible());
  }
  {
    ClockDemo demo(0, true);
    QMessageBox* notice = demo.waitForBox(ports::Topic::TimerNotice);
    ASSERT_NE(notice, nullptr);
    click(notice, QMessageBox::Cancel);
    EXPECT_TRUE(processUntil([&] { return !demo.window->isVisible(); }, kClockWaitMs));
    EXPECT_TRUE(demo.session->host().state().timerArmed);
  }
}

TEST(DemoModels, TheTransmitterAndTheReducedVariantConnect) {
  for (const char* model : {"T7", "R5U"}) {
    ClockDemo demo(0, false, 0, model);
    EXPECT_TRUE(demo.connected()) << model;
    EXPECT_EQ(demo.box(ports::Topic::ClockDifference), nullptr) << model;
  }
}

TEST(DemoModels, TheLockedDemoRecorderWaitsForItsPinWithTheDemoTableNamed) {
  ClockDemo demo(0, false, 0, "R5", true);
  const std::string table = demo.session->settings().pinTable;
  ASSERT_FALSE(table.empty());
  std::string error;
  EXPECT_TRUE(operations::PinTable::load(table, error).has_value()) << error;
  EXPECT_TRUE(processUntil([&] { return demo.session->host().state().locked; }, kClockWaitMs));
}
