// A session as a person has it, driven through the window's own widgets against the simulated
// recorder: connect, see the list and its summary, pick two recordings and download them while the
// recorder garbles one block (the block is fetched again and the files come out exact), play one,
// convert one with the Convert command, filter a WAV file, and read the session in the log window.
// Screenshots of the main window are taken at the steps (idle, connected, downloading, playing).
#include <gtest/gtest.h>

#include "DemoRecorder.h"
#include "SimDownload.h"
#include "recording/DemoRecordings.h"
#include "recording/RecordingWriter.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>

#include "GuiTestSupport.h"
#include "controls/TimeRuler.h"
#include "controls/WaveformView.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;
namespace fs = std::filesystem;
namespace sim = recdesk::sim;

namespace {

constexpr int kScriptWaitMs = 10000;
constexpr int kBlockPages = 8;  // the default "Acceleration"

// The recorder of the script: three short recordings (2 to 3.5 s each) of a little tune.
std::shared_ptr<sim::SimRecorder> scriptRecorder() {
  sim::DeviceConfig config;
  auto device = sim::makeDemoRecorder(config, 0);
  const std::size_t pages[] = {24, 16, 28};
  for (std::uint16_t n = 1; n <= 3; ++n) {
    sim::RecordingFormat format;
    format.serial = config.serial;
    format.fileNumber = n;
    format.start = {2024, 5, 17, 9 + n, 30, 0};
    auto tune = sim::makeMelody(format.sampleRate, 0.35, 0.3, n);
    device->recordings().push_back(sim::makeRecording(format, *tune, pages[n - 1]));
  }
  return device;
}

template <class T>
T* named(QWidget& root, const QString& name) {
  return root.findChild<T*>(name);
}

QString controlName(Control c) { return QStringLiteral("control%1").arg(number(c)); }

// The visible top-level window of type T (a dialog the program opened), waited for.
template <class T>
T* openWindow(const QString& name = {}) {
  T* found = nullptr;
  processUntil(
      [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          auto* t = qobject_cast<T*>(w);
          if (t && t->isVisible() && (name.isEmpty() || t->objectName() == name)) found = t;
        }
        return found != nullptr;
      },
      kScriptWaitMs);
  return found;
}

// A question box of the window, answered with `button` as a person would click it.
void answer(QWidget& window, QMessageBox::StandardButton button) {
  QMessageBox* box = nullptr;
  ASSERT_TRUE(processUntil(
      [&] {
        for (QMessageBox* b : window.findChildren<QMessageBox*>())
          if (b->isVisible()) box = b;
        return box != nullptr;
      },
      kScriptWaitMs));
  ASSERT_NE(box->button(button), nullptr) << box->text().toStdString();
  QTest::mouseClick(box->button(button), Qt::LeftButton);
}

void clickRow(QTreeWidget* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const QRect rect = list->visualItemRect(list->topLevelItem(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

std::string bytesOf(const fs::path& file) { return recdesk::test::readFile(file); }

struct ScriptWindow {
  recdesk::test::TempDir dir;
  std::shared_ptr<sim::SimRecorder> device = scriptRecorder();
  sim::SimDownload* download = nullptr;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;
  // The recorder's faults: one garbled copy of a block of the first recording, and (for the
  // downloading screenshot) one block of the second held back for a moment.
  bool flipped = false;
  bool held = false;
  int copiesOfBlock16 = 0;

  ScriptWindow() {
    guiApp();
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    download = &sim::SimDownload::install(*device);
    sim::DownloadPacing pacing;
    pacing.schedule = [](std::chrono::nanoseconds delay, std::function<void()> call) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(delay).count();
      QTimer::singleShot(static_cast<int>(ms), QCoreApplication::instance(), std::move(call));
    };
    pacing.now = [] { return std::chrono::steady_clock::now(); };
    download->setPacing(std::move(pacing));
    download->faults().shape = [this](std::uint64_t firstPage, std::uint64_t copy, sim::CopyFaults& f) {
      if (firstPage == kBlockPages && copy == 0 && !flipped) {
        f.flip = true;
        flipped = true;
      }
      if (firstPage == 2 * kBlockPages && copy == 0 && ++copiesOfBlock16 == 2) {
        f.late = std::chrono::milliseconds(700);
        held = true;
      }
    };
    GuiOptions options;
    options.demo = true;
    options.demoDevice = device;
    options.settingsFile = dir / "recdesk.ini";
    options.logFolder = dir / "log";
    session = std::make_unique<GuiSession>(options);
    window = std::make_unique<MainWindow>(*session);
  }
  ~ScriptWindow() {
    window.reset();
    session.reset();
  }
  template <class T>
  T* control(Control c) {
    T* w = named<T>(*window, controlName(c));
    EXPECT_NE(w, nullptr) << controlName(c).toStdString();
    return w;
  }
  QAction* command(Command c) {
    for (QAction* a : window->findChildren<QAction*>())
      if (a->objectName() == QStringLiteral("command%1").arg(number(c))) return a;
    ADD_FAILURE() << "no action for command " << number(c);
    return nullptr;
  }
  fs::path downloadFolder() const { return session->settings().downloadFolder; }
  fs::path decodeFolder() const { return session->settings().decryptFolder; }
  fs::path im2Of(int index) const { return downloadFolder() / sim::im2FileName(device->recordings()[index]); }
  fs::path wavOf(int index) const {
    return decodeFolder() / (device->recordings()[index].format.deviceName() + "." +
                             std::to_string(device->recordings()[index].format.fileNumber) + ".00.wav");
  }
};

}  // namespace

TEST(SessionScript, DownloadsTwoRecordingsThroughAFaultPlaysConvertsAndFilters) {
  ScriptWindow s;
  MainWindow& w = *s.window;
  w.show();
  auto* list = s.control<QTreeWidget>(Control::RecordingList);
  auto* summary = s.control<QTableWidget>(Control::Summary);
  auto* downloadButton = s.control<QPushButton>(Control::Download);
  auto* status = s.control<QLabel>(Control::Status);
  ASSERT_TRUE(list && summary && downloadButton && status);
  EXPECT_FALSE(downloadButton->isEnabled());
  recdesk::test::screenshot(w, "main-window-idle");

  // Connect: the recorder's name, its three recordings, all selected (none is on disk yet).
  s.session->start();
  ASSERT_TRUE(processUntil([&] { return list->topLevelItemCount() == 3 && s.command(Command::ReadList)->isEnabled(); },
                           kScriptWaitMs));
  EXPECT_EQ(s.control<QLabel>(Control::RecorderName)->text(), "R5-12345");
  EXPECT_EQ(list->topLevelItem(0)->text(0), "1");
  EXPECT_EQ(list->topLevelItem(2)->text(0), "3");
  EXPECT_EQ(list->topLevelItem(0)->text(2), "0:00:03");  // 24 pages of 1021 samples at 8 kHz
  EXPECT_EQ(list->topLevelItem(0)->text(3), "0");
  EXPECT_EQ(list->selectedItems().size(), 3);
  EXPECT_TRUE(summary->item(0, 0)->text().startsWith("3 ")) << summary->item(0, 0)->text().toStdString();
  EXPECT_TRUE(downloadButton->isEnabled());
  // The queries after the list filled the window: the profile, read whole, and the time left.
  auto* profile = s.control<QComboBox>(Control::ProfileChoice);
  EXPECT_FALSE(profile->currentText().isEmpty());
  EXPECT_GT(profile->width(), profile->fontMetrics().horizontalAdvance(profile->currentText()));
  EXPECT_TRUE(s.control<QLabel>(Control::RecordingTime)->text().endsWith("MB"))
      << s.control<QLabel>(Control::RecordingTime)->text().toStdString();
  recdesk::test::screenshot(w, "main-window");

  // Pick the first and the third recording with the mouse.
  clickRow(list, 0);
  clickRow(list, 2, Qt::ControlModifier);
  ASSERT_EQ(list->selectedItems().size(), 2);
  EXPECT_TRUE(list->topLevelItem(0)->isSelected() && list->topLevelItem(2)->isSelected());
  EXPECT_TRUE(summary->item(0, 0)->text().startsWith("2 ")) << summary->item(0, 0)->text().toStdString();
  EXPECT_TRUE(summary->item(0, 1)->text().startsWith("IM2: ")) << summary->item(0, 1)->text().toStdString();

  // Download: the first recording meets a garbled block on its way; the second is held back for a
  // moment, while the window shows the download under way.
  QTest::mouseClick(downloadButton, Qt::LeftButton);
  EXPECT_TRUE(downloadButton->isChecked());
  ASSERT_TRUE(processUntil([&] { return s.held; }, kScriptWaitMs));
  EXPECT_TRUE(downloadButton->isEnabled());  // pressed again, it stops the download
  EXPECT_FALSE(list->isEnabled());
  EXPECT_FALSE(s.control<QWidget>(Control::Format)->isEnabled());
  EXPECT_FALSE(s.control<QWidget>(Control::Play)->isEnabled());
  EXPECT_FALSE(s.command(Command::ReadList)->isEnabled());
  EXPECT_FALSE(s.command(Command::Convert)->isEnabled());
  EXPECT_EQ(list->topLevelItem(0)->text(3), "100");
  EXPECT_TRUE(w.windowTitle().contains("%")) << w.windowTitle().toStdString();
  recdesk::test::screenshot(w, "main-window-downloading");

  ASSERT_TRUE(processUntil([&] { return !downloadButton->isChecked() && s.command(Command::ReadList)->isEnabled(); },
                           kScriptWaitMs));
  EXPECT_EQ(s.download->stats().flipped, 1u);
  EXPECT_GE(s.download->stats().repeatsServed, 1u);
  EXPECT_EQ(list->topLevelItem(0)->text(3), "100");
  EXPECT_EQ(list->topLevelItem(1)->text(3), "0");
  EXPECT_EQ(list->topLevelItem(2)->text(3), "100");
  EXPECT_EQ(list->topLevelItem(0)->text(4), "0");  // no bad page was kept
  EXPECT_EQ(w.windowTitle(), "RecDesk");
  for (int i : {0, 2}) {
    const auto& recording = s.device->recordings()[static_cast<std::size_t>(i)];
    const auto expected = recording.im2();
    EXPECT_TRUE(bytesOf(s.im2Of(i)) == std::string(expected.begin(), expected.end())) << s.im2Of(i);
    // Automatic decoding made the WAV file beside it.
    EXPECT_TRUE(processUntil([&] { return fs::exists(s.wavOf(i)); }, kScriptWaitMs)) << s.wavOf(i);
  }
  EXPECT_FALSE(fs::exists(s.im2Of(1)));

  // The last recording downloaded is in the player: play it to its end.
  auto* play = s.control<QAbstractButton>(Control::Play);
  auto* waveform = s.control<WaveformView>(Control::Waveform);
  auto* ruler = s.control<TimeRuler>(Control::Ruler);
  ASSERT_TRUE(processUntil([&] { return play->isEnabled(); }, kScriptWaitMs));
  EXPECT_EQ(s.control<QLabel>(Control::FilePath)->text().toStdString(), s.im2Of(2).filename().string());
  EXPECT_TRUE(waveform->hasData());
  const QString startLabel = ruler->centreLabel();
  QTest::mouseClick(play, Qt::LeftButton);
  EXPECT_FALSE(play->isEnabled());
  EXPECT_TRUE(s.control<QWidget>(Control::Pause)->isEnabled());
  EXPECT_TRUE(s.control<QWidget>(Control::Stop)->isEnabled());
  ASSERT_TRUE(processUntil([&] { return waveform->cursorFraction() > 0.2 && ruler->centreLabel() != startLabel; },
                           kScriptWaitMs));
  recdesk::test::screenshot(w, "main-window-playing");
  ASSERT_TRUE(processUntil([&] { return play->isEnabled(); }, kScriptWaitMs));  // it stopped at the end
  EXPECT_FALSE(s.control<QWidget>(Control::Pause)->isEnabled());
  EXPECT_FALSE(s.control<QWidget>(Control::Stop)->isEnabled());

  // Convert the first recording again with the Convert command: its WAV file is there already, and
  // the person says yes to replacing it.
  const auto before = fs::last_write_time(s.wavOf(0));
  ASSERT_TRUE(s.command(Command::Convert)->isEnabled());
  s.command(Command::Convert)->trigger();
  auto* chooser = openWindow<QFileDialog>();
  ASSERT_NE(chooser, nullptr);
  chooser->selectFile(QString::fromStdString(s.im2Of(0).string()));
  auto* fileName = named<QLineEdit>(*chooser, QStringLiteral("fileNameEdit"));
  ASSERT_NE(fileName, nullptr);
  QTest::keyClick(fileName, Qt::Key_Return);
  answer(w, QMessageBox::Yes);
  auto* progress = openWindow<QDialog>(QStringLiteral("conversionProgress"));
  ASSERT_NE(progress, nullptr);
  ASSERT_TRUE(processUntil([&] { return !progress->isVisible(); }, kScriptWaitMs));
  ASSERT_TRUE(processUntil([&] { return s.control<QLabel>(Control::FilePath)->text().endsWith(".wav"); }, kScriptWaitMs));
  EXPECT_GT(fs::last_write_time(s.wavOf(0)), before);
  EXPECT_EQ(s.control<QLabel>(Control::FilePath)->text().toStdString(), s.wavOf(0).filename().string());

  // Filter that WAV file: level control alone, to the file the dialog proposes.
  s.command(Command::Filter)->trigger();
  auto* filter = openWindow<QDialog>(QStringLiteral("filterDialog"));
  ASSERT_NE(filter, nullptr);
  auto* input = named<QLineEdit>(*filter, QStringLiteral("filterInput"));
  auto* mode = named<QComboBox>(*filter, QStringLiteral("filterMode"));
  auto* output = named<QLineEdit>(*filter, QStringLiteral("filterOutput"));
  ASSERT_TRUE(input && mode && output);
  QTest::keyClicks(input, QString::fromStdString(s.wavOf(0).string()));
  mode->setCurrentIndex(mode->count() - 1);
  const fs::path filtered = output->text().toStdString();
  EXPECT_EQ(filtered.parent_path(), s.decodeFolder());
  QTest::mouseClick(filter->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
  ASSERT_TRUE(processUntil([&] { return s.control<QLabel>(Control::FilePath)->text().toStdString() ==
                                        filtered.filename().string(); },
                           kScriptWaitMs));
  EXPECT_GT(fs::file_size(filtered), 44u);
  EXPECT_TRUE(s.control<QAbstractButton>(Control::Play)->isEnabled());

  // The log window tells the session.
  s.command(Command::CommsLog)->trigger();
  auto* log = openWindow<QWidget>(QStringLiteral("commsLog"));
  ASSERT_NE(log, nullptr);
  auto* logText = named<QPlainTextEdit>(*log, QStringLiteral("commsLogText"));
  ASSERT_NE(logText, nullptr);
  const QString text = logText->toPlainText();
  EXPECT_TRUE(text.contains(">> $R5,ACK,LST,")) << text.toStdString();
  EXPECT_TRUE(text.contains("<< $R5,DNL,1,")) << text.toStdString();
  EXPECT_TRUE(text.contains("<< $R5,DNL,3,")) << text.toStdString();
  EXPECT_FALSE(text.contains("<< $R5,DNL,2,")) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromStdString(s.im2Of(0).string()))) << text.toStdString();
}
