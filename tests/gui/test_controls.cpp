// The custom controls: the level display's scaling, the time ruler's ticks and labels, the
// checkable group box's enabling, and the folder chooser's checks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "controls/CheckableGroupBox.h"
#include "controls/ElidedLabel.h"
#include "controls/FolderChooser.h"
#include "GuiTestSupport.h"
#include "controls/RulerScale.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformScale.h"
#include "controls/WaveformView.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

TEST(WaveformScale, PeaksReachTheEdgesOfTheirBandsAndTheCentreStaysOnTheLine) {
  const auto mono = levelBands(0, 100, 1);
  ASSERT_EQ(mono.size(), 1u);
  EXPECT_EQ(mono[0].mid, 50);
  EXPECT_EQ(mono[0].half, 50);
  const auto stereo = levelBands(0, 100, 2);
  ASSERT_EQ(stereo.size(), 2u);
  EXPECT_EQ(stereo[0].half, 23);  // 100/4 - 2
  EXPECT_EQ(stereo[0].mid, 23);
  EXPECT_EQ(stereo[1].mid, 77);

  LevelChannel c;
  c.centre = 128;
  c.lowPeak = 28;
  c.highPeak = 228;
  EXPECT_EQ(lowestY(mono[0], c, 28), 100);  // the lowest peak: bottom
  EXPECT_EQ(highestY(mono[0], c, 228), 0);  // the highest peak: top
  EXPECT_EQ(lowestY(mono[0], c, 128), 50);
  EXPECT_EQ(highestY(mono[0], c, 178), 25);
  // Asymmetric peaks scale each side on its own.
  c.highPeak = 148;
  EXPECT_EQ(highestY(mono[0], c, 148), 0);
  // Silence (peaks at the centre) draws on the line instead of dividing by zero.
  c.lowPeak = c.highPeak = c.centre;
  EXPECT_EQ(lowestY(mono[0], c, 100), 50);
  EXPECT_EQ(highestY(mono[0], c, 200), 50);
  EXPECT_EQ(strokeX(300, 3, 1), 100);
}

TEST(WaveformView, DrawsGreenStrokesInItsBandAndARedCursor) {
  guiApp();
  WaveformView view;
  view.resize(200, 100);
  LevelChannel c;
  c.centre = 0;
  c.lowPeak = -100;
  c.highPeak = 100;
  for (int i = 0; i < 4; ++i) c.points.push_back({-100, 100});
  view.showData({c});
  view.setCursorFraction(0.25);
  const QImage image = view.grab().toImage();
  EXPECT_EQ(image.pixelColor(100, 10), QColor(0, 255, 0));  // stroke 2 of 4 at x = 100
  EXPECT_EQ(image.pixelColor(100, 90), QColor(0, 255, 0));
  EXPECT_EQ(image.pixelColor(120, 10), QColor(Qt::black));  // one thin stroke per point
  EXPECT_EQ(image.pixelColor(20, 10), QColor(Qt::black));   // point 0 is not drawn
  EXPECT_EQ(image.pixelColor(49, 30), QColor(255, 0, 0));  // cursor at a quarter of 199
  EXPECT_DOUBLE_EQ(view.cursorFraction(), 0.25);

  view.setEnabled(false);
  const QImage disabled = view.grab().toImage();
  EXPECT_NE(disabled.pixelColor(100, 10), QColor(0, 255, 0));  // no data drawn while disabled
}

TEST(ElidedLabel, ALongTextEndsInAnEllipsisAndKeepsItsWholeText) {
  guiApp();
  ElidedLabel label;
  const QString name = QStringLiteral("Recorder setting: Mono:8000.4.Gain: auto");
  label.setText(name);
  label.resize(label.fontMetrics().horizontalAdvance(name) + 10, 20);
  EXPECT_EQ(label.shownText(), name);
  label.resize(80, 20);
  EXPECT_TRUE(label.shownText().endsWith(QChar(0x2026))) << label.shownText().toStdString();
  EXPECT_LE(label.fontMetrics().horizontalAdvance(label.shownText()), 80);
  EXPECT_EQ(label.text(), name);
  EXPECT_LT(label.minimumSizeHint().width(), 80);
}

TEST(RulerScale, TicksFollowTheClockAndThinOutWithTheScale) {
  // Two hours over 720 pixels: a minute is 6 px: every kind is drawn.
  const auto ticks = rulerTicks(7200, 10 * 3600 + 50 * 60, 720);  // starts at 10:50
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.front().x, 0);  // 10:50 is on a five-minute mark
  EXPECT_EQ(ticks.front().height, 2);
  int hours = 0, quarters = 0;
  for (const auto& t : ticks) {
    hours += t.height == 8;
    quarters += t.height == 5;
  }
  EXPECT_EQ(hours, 2);     // 11:00 and 12:00
  EXPECT_EQ(quarters, 6);  // 11:15 11:30 11:45 12:15 12:30 12:45
  EXPECT_EQ(ticks.size(), 25u);
  const auto eleven = std::find_if(ticks.begin(), ticks.end(), [](const RulerTick& t) { return t.hour(); });
  EXPECT_EQ(eleven->x, 60);  // ten minutes after the start
  // The same span over 240 px: a minute is 2 px, ten minutes 20 px: hours and quarters only.
  EXPECT_EQ(rulerTicks(7200, 10 * 3600 + 50 * 60, 240).size(), 8u);

  // Ten hours over 300 px: an hour is 30 px, 600 s 5 px (not more): hours only.
  for (const auto& t : rulerTicks(36000, 0, 300)) EXPECT_EQ(t.height, 8);
  EXPECT_EQ(rulerTicks(36000, 0, 300).size(), 11u);
  // A day over 100 px: no ticks at all.
  EXPECT_TRUE(rulerTicks(86400, 0, 100).empty());
  EXPECT_TRUE(rulerTicks(0, 0, 100).empty());
}

TEST(TimeRuler, LabelsInDurationAndDateModes) {
  guiApp();
  TimeRuler ruler;
  EXPECT_TRUE(ruler.leftLabel().isEmpty());
  ruler.setDuration(3 * 3600 + 25 * 60 + 7);
  EXPECT_EQ(ruler.leftLabel(), "00:00:00");
  EXPECT_EQ(ruler.rightLabel(), "3:25:07");
  ruler.setPosition(61);
  EXPECT_EQ(ruler.centreLabel(), "0:01:01");
  EXPECT_EQ(durationLabel(100 * 3600), "100:00:00");

  std::tm tm{};
  tm.tm_year = 2006 - 1900;
  tm.tm_mon = 4;
  tm.tm_mday = 17;
  tm.tm_hour = 9;
  tm.tm_min = 5;
  tm.tm_sec = 3;
  tm.tm_isdst = -1;
  const std::time_t start = std::mktime(&tm);
  ruler.setSpan(start, start - 100);  // an end before the start moves to the start
  EXPECT_FALSE(ruler.durationMode());
  EXPECT_EQ(ruler.leftLabel(), ruler.rightLabel());
  EXPECT_TRUE(ruler.leftLabel().startsWith("09:05:03, "));
  EXPECT_TRUE(ruler.centreLabel().contains("2006, 09:05:03"));
}

TEST(CheckableGroupBox, SwitchesItsContentsButNotExcludedOnesAndKeepsANestedBoxOff) {
  guiApp();
  QWidget parent;
  CheckableGroupBox outer("Outer", &parent);
  auto* plain = new QLineEdit(&outer);
  auto* excluded = new QLineEdit(&outer);
  auto* inner = new CheckableGroupBox("Inner", &outer);
  auto* innerChild = new QLineEdit(inner);
  outer.addExclusion(excluded);
  outer.setCheck(true);
  inner->setCheck(false);
  EXPECT_TRUE(plain->isEnabled());
  EXPECT_TRUE(inner->isEnabled());
  EXPECT_FALSE(innerChild->isEnabled());

  outer.setCheck(false);
  EXPECT_FALSE(plain->isEnabled());
  EXPECT_TRUE(excluded->isEnabled());
  EXPECT_FALSE(inner->isEnabled());

  outer.setCheck(true);
  EXPECT_TRUE(plain->isEnabled());
  EXPECT_TRUE(inner->isEnabled());
  EXPECT_FALSE(innerChild->isEnabled());  // the nested box is still off
  inner->setCheck(true);
  EXPECT_TRUE(innerChild->isEnabled());
  EXPECT_EQ(inner->check(), 1);

  // Disabling the box itself disables its contents whatever the caption says.
  outer.setEnabled(false);
  EXPECT_FALSE(innerChild->isEnabled());
}

TEST(CheckableGroupBox, RadioBoxesOfOneGroupSwitchEachOtherOff) {
  guiApp();
  QWidget parent;
  CheckableGroupBox a("A", &parent), b("B", &parent);
  a.setCaptionStyle(CheckableGroupBox::CaptionStyle::RadioButton);
  b.setCaptionStyle(CheckableGroupBox::CaptionStyle::RadioButton);
  a.setGroup(1);
  b.setGroup(1);
  a.setCheck(true);
  auto* caption = b.findChild<QAbstractButton*>();
  ASSERT_NE(caption, nullptr);
  caption->click();
  EXPECT_EQ(b.check(), 1);
  EXPECT_EQ(a.check(), 0);
}

namespace {
QMessageBox* openBox(QWidget& owner) {
  QMessageBox* box = nullptr;
  processUntil([&] { return (box = owner.findChild<QMessageBox*>()) != nullptr && box->isVisible(); }, 2000);
  return box;
}
}  // namespace

TEST(FolderChooser, RefusesABadPathAndCreatesAMissingFolderWhenAsked) {
  guiApp();
  recdesk::test::TempDir dir;
  FolderChooser chooser("Download folder", "Choose", QString::fromStdString(dir.path().string()));
  QString chosen;
  QObject::connect(&chooser, &FolderChooser::folderChosen, [&](const QString& p) { chosen = p; });

  chooser.pathEdit()->setText(QString::fromStdString((dir / "a").string()) + "//b");
  chooser.submit();
  QMessageBox* box = openBox(chooser);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains("not a valid folder path"));
  EXPECT_TRUE(box->text().contains("//b"));
  box->button(QMessageBox::Ok)->click();
  processUntil([&] { return chooser.findChild<QMessageBox*>() == nullptr; }, 2000);
  EXPECT_TRUE(chosen.isEmpty());

  const QString wanted = QString::fromStdString((dir / "rec" / "2006").string());
  chooser.pathEdit()->setText(wanted);
  chooser.submit();
  box = openBox(chooser);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains("Create it?"));
  box->button(QMessageBox::No)->click();  // No keeps the chooser open and creates nothing
  processUntil([&] { return chooser.findChild<QMessageBox*>() == nullptr; }, 2000);
  EXPECT_FALSE(std::filesystem::exists(dir / "rec"));
  EXPECT_TRUE(chosen.isEmpty());

  chooser.submit();
  box = openBox(chooser);
  ASSERT_NE(box, nullptr);
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(processUntil([&] { return !chosen.isEmpty(); }, 2000));
  EXPECT_EQ(chosen, wanted);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "rec" / "2006"));
}
