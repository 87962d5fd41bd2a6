// The player in the main window on SDL's dummy output: a recording opens with its level overview
// and ruler, plays, pauses, seeks where the bar is clicked, stops back at the start, stops by itself
// at the end, and a close while playing silences it and empties the player.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMouseEvent>

#include "window/GuiSession.h"
#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformView.h"
#include "player/PlayerController.h"
#include "recording/RecordingWriter.h"

using namespace recdesk::gui;
using recdesk::playback::PlayState;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

namespace {

struct PlayerWindow {
  recdesk::test::TempDir dir;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;

  PlayerWindow() {
    guiApp();
    GuiOptions options = recdesk::test::demoOptions(dir);
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
    window->show();
  }
  ~PlayerWindow() {
    window.reset();
    session.reset();
  }
  // A tone recording of `pages` pages (128 ms each at 8 kHz).
  std::string recording(std::size_t pages, const std::string& name = "rec.im2") {
    auto tone = recdesk::sim::makeTone(440, 0.4, 8000);
    const auto path = dir / name;
    recdesk::sim::makeRecording({}, *tone, pages).writeIm2(path);
    return path.string();
  }
  PlayerController& player() { return *window->player(); }
  QAbstractButton* button(Control c) { return qobject_cast<QAbstractButton*>(window->control(c)); }
  WaveformView* bar() { return qobject_cast<WaveformView*>(window->control(Control::Waveform)); }
  std::int64_t position() { return player().engine().status().positionMs; }
  void clickBar(double fraction) {
    WaveformView* w = bar();
    const QPointF at(fraction * w->width(), w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
  }
};

}  // namespace

TEST(Player, OpensPlaysPausesSeeksByClickAndStops) {
  PlayerWindow t;
  t.player().load(t.recording(80));  // about 10 s
  ASSERT_TRUE(t.player().state().fileLoaded);
  EXPECT_TRUE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.button(Control::Pause)->isEnabled());
  EXPECT_FALSE(t.button(Control::Stop)->isEnabled());
  EXPECT_TRUE(t.bar()->hasData());
  EXPECT_TRUE(t.bar()->isEnabled());
  // The ruler follows when the engine replies that the file is open.
  auto* ruler = qobject_cast<TimeRuler*>(t.window->control(Control::Ruler));
  EXPECT_TRUE(processUntil([&] { return ruler->leftLabel().toStdString().find("09:30:00") != std::string::npos; }, 2000))
      << ruler->leftLabel().toStdString();
  EXPECT_EQ(qobject_cast<QLabel*>(t.window->control(Control::FilePath))->text(), QStringLiteral("rec.im2"));

  t.button(Control::Play)->click();
  EXPECT_TRUE(t.player().state().playing);
  EXPECT_FALSE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.button(Control::OpenFile)->isEnabled());
  EXPECT_TRUE(t.button(Control::Pause)->isEnabled());
  ASSERT_TRUE(processUntil([&] { return t.position() > 0 && t.bar()->cursorFraction() > 0; }, 5000));

  t.button(Control::Pause)->click();
  EXPECT_TRUE(t.player().state().paused);
  EXPECT_TRUE(processUntil([&] { return t.player().engine().state() == PlayState::Paused; }, 2000));
  EXPECT_TRUE(t.button(Control::Play)->isEnabled());
  EXPECT_TRUE(t.button(Control::Stop)->isEnabled());

  // Half-way along the bar: about five seconds in, shown when the engine replies.
  t.clickBar(0.5);
  const std::int64_t length = t.player().engine().status().lengthMs;
  EXPECT_TRUE(processUntil([&] { return std::abs(t.bar()->cursorFraction() - 0.5) < 0.03; }, 2000))
      << t.bar()->cursorFraction();
  EXPECT_NEAR(static_cast<double>(t.position()), length / 2.0, 200.0);

  t.button(Control::Play)->click();
  ASSERT_TRUE(processUntil([&] { return t.position() > length / 2 + 100; }, 5000));
  t.button(Control::Stop)->click();
  EXPECT_TRUE(processUntil([&] { return t.player().engine().state() == PlayState::Stopped && t.position() == 0; }, 2000));
  EXPECT_DOUBLE_EQ(t.bar()->cursorFraction(), 0.0);
  EXPECT_TRUE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.button(Control::Stop)->isEnabled());
  EXPECT_TRUE(t.button(Control::OpenFile)->isEnabled());
}

TEST(Player, StopsByItselfAtTheEndAndLoadsOnlyRecordingsAndWavFiles) {
  PlayerWindow t;
  t.player().load(t.recording(4, "SHORT.IM2"));  // half a second; the extension in any case
  ASSERT_TRUE(t.player().state().fileLoaded);
  t.button(Control::Play)->click();
  ASSERT_TRUE(processUntil([&] { return !t.player().state().playing; }, 5000));
  EXPECT_TRUE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.button(Control::Pause)->isEnabled());

  // A WAV file that cannot be opened: loaded until the engine says so, then the player empties.
  recdesk::test::writeFile(t.dir / "broken.wav", "not a wave file");
  t.player().load((t.dir / "broken.wav").string());
  EXPECT_TRUE(t.player().state().fileLoaded);
  t.clickBar(0.5);  // no length yet: the click is ignored
  EXPECT_TRUE(processUntil([&] { return !t.player().state().fileLoaded; }, 2000));
  EXPECT_FALSE(t.button(Control::Play)->isEnabled());

  recdesk::test::writeFile(t.dir / "notes.txt", "not audio");
  t.player().load((t.dir / "notes.txt").string());
  EXPECT_FALSE(t.player().state().fileLoaded);
  EXPECT_FALSE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.bar()->hasData());
}

TEST(Player, ClosingTheWindowWhilePlayingSilencesAndEmptiesThePlayer) {
  PlayerWindow t;
  t.player().load(t.recording(80));
  t.button(Control::Play)->click();
  ASSERT_TRUE(processUntil([&] { return t.position() > 0; }, 5000));
  t.window->close();
  EXPECT_FALSE(t.player().state().fileLoaded);
  EXPECT_FALSE(t.player().engine().status().loaded);
  EXPECT_FALSE(t.button(Control::Play)->isEnabled());
  EXPECT_FALSE(t.button(Control::Pause)->isEnabled());
  EXPECT_FALSE(t.button(Control::Stop)->isEnabled());
}
