// The Convert command's work: several recordings converted one after another off the GUI thread,
// the progress window shown meanwhile, and the first part of the last one opened in the player.
#include <gtest/gtest.h>

#include <filesystem>

#include "DemoOptions.h"
#include "controls/ConversionProgressWindow.h"
#include "window/GuiSession.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "player/ConvertController.h"
#include "player/PlayerController.h"
#include "recording/RecordingWriter.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

TEST(ConvertCommand, ConvertsSeveralRecordingsOffTheGuiThreadAndOpensTheLastInThePlayer) {
  guiApp();
  recdesk::test::TempDir dir;
  std::filesystem::create_directories(dir / "decoded");
  GuiSession session(recdesk::test::demoOptions(dir));
  session.settings().decryptFolder = (dir / "decoded").string();
  MainWindow window(session);
  window.show();

  auto tone = recdesk::sim::makeTone(440, 0.4, 8000);
  std::vector<std::string> sources;
  for (const char* name : {"first.im2", "second.IM2"}) {
    recdesk::sim::makeRecording({}, *tone, 400).writeIm2(dir / name);
    sources.push_back((dir / name).string());
  }
  std::vector<recdesk::audio::ConvertStatus> results;
  ConvertController& convert = *window.converter();
  convert.onResult = [&](const recdesk::audio::ConvertResult& r) { results.push_back(r.status); };
  convert.convert(sources);
  EXPECT_TRUE(convert.busy());
  EXPECT_TRUE(convert.progressWindow()->isVisible());
  ASSERT_TRUE(processUntil([&] { return !convert.busy(); }, 10000));
  if (!qgetenv("RECDESK_SCREENSHOT_DIR").isEmpty()) {
    convert.progressWindow()->showProgress(QStringLiteral("Converting: first.im2"), 420, 1000);
    recdesk::test::screenshot(*convert.progressWindow(), "convert-progress");
    convert.progressWindow()->finish();
  }

  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0], recdesk::audio::ConvertStatus::Completed);
  EXPECT_EQ(results[1], recdesk::audio::ConvertStatus::Completed);
  EXPECT_FALSE(convert.progressWindow()->isVisible());
  std::vector<std::string> wavs;
  for (const auto& e : std::filesystem::directory_iterator(dir / "decoded"))
    if (e.path().extension() == ".wav") wavs.push_back(e.path().filename().string());
  EXPECT_EQ(wavs.size(), 2u);
  ASSERT_TRUE(window.player()->state().fileLoaded);
  EXPECT_NE(window.player()->path().find("second"), std::string::npos);
  EXPECT_EQ(std::filesystem::path(window.player()->path()).parent_path(), dir / "decoded");
}
