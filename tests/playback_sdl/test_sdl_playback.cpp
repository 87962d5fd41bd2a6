// The real output path: the engine on the SDL sink with SDL's disk driver (ctest sets
// SDL_AUDIODRIVER=disk for this program), and recdesk-cli play / overview. The disk driver writes
// what the device plays, at the real-time pace, so the recordings here are short.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "PlaybackTestSupport.h"
#include "TestSupport.h"
#include "lang/Strings.h"
#include "playback/PlaybackEngine.h"
#include "sdl/SdlAudioSink.h"

namespace recdesk::playback {
namespace {

using sim::RecordingFormat;

class SdlPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never a real device, also when the program is run by hand.
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", (dir / "out.raw").string().c_str(), 1);
  }
  // Runs recdesk-cli with `args`; returns the exit code, stdout and stderr in `output`.
  int cli(const std::string& args, std::string& output) {
    const std::string command = std::string(RECDESK_TEST_BIN_DIR) + "/recdesk-cli --no-log " + args +
                                " </dev/null >" + (dir / "cli.txt").string() + " 2>&1";
    const int status = std::system(command.c_str());
    output = test::readFile(dir / "cli.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::TempDir dir;
};

TEST_F(SdlPlayback, TheDiskDriverReceivesExactlyTheDecodedAudio) {
  RecordingFormat stereo;
  stereo.sampleRate = 16000;
  stereo.channels = 2;
  stereo.encoding = audio::kEncodingPrediction;
  stereo.searchWidth = 1;
  RecordingFormat raw8;
  raw8.bits = 8;
  raw8.encoding = audio::kEncodingPrediction8;
  test::toneRecording(12, stereo).writeIm2(dir / "stereo.im2");
  test::toneRecording(9, raw8).writeIm2(dir / "raw8.im2");
  RecordingFormat outer, inner;
  inner.encoding = audio::kEncodingPrediction8;
  auto tone = sim::makeTone(300, 0.4, 8000);
  sim::makeContainerRecording(outer, inner, *tone, 4).writeIm2(dir / "box.im2");
  const auto bytes = test::toneRecording(20).im2();
  test::writeFile(dir / "part.im2",
                  std::string(reinterpret_cast<const char*>(bytes.data()), 6 * kPageSize + 100));

  for (const char* name : {"stereo.im2", "raw8.im2", "box.im2", "part.im2"}) {
    SCOPED_TRACE(name);
    const auto path = dir / name;
    const std::string expected = test::convertedAudio(path, dir.path());
    ASSERT_GT(expected.size(), 0u);
    {
      platform::SdlAudioSink sink;
      test::Events events;
      PlaybackEngine engine(sink, &events);
      ASSERT_TRUE(events.openAndWait(engine, path.string()));
      ASSERT_TRUE(engine.status().soundAvailable) << sink.lastError();
      engine.play();
      ASSERT_TRUE(events.waitEnded());
    }
    // Whatever silence the driver adds around it, the audio is there whole and in order.
    EXPECT_NE(test::readFile(dir / "out.raw").find(expected), std::string::npos);
  }
}

TEST_F(SdlPlayback, PlayCommandPlaysToTheEndAndSaysWhenThereIsNoSound) {
  RecordingFormat f;
  f.bits = 16;
  test::toneRecording(20, f).writeIm2(dir / "Rec.IM2");  // 640 ms
  std::string out;
  ASSERT_EQ(cli("play " + (dir / "Rec.IM2").string() + " --from 0", out), 0) << out;
  EXPECT_NE(out.find("0:00 / 0:00 [####"), std::string::npos) << out;
  EXPECT_NE(test::readFile(dir / "out.raw").find(test::convertedAudio(dir / "Rec.IM2", dir.path())),
            std::string::npos);

  EXPECT_EQ(cli("play " + (dir / "Rec.IM2").string() + " --from 5", out), 1);
  EXPECT_NE(out.find("beyond the end"), std::string::npos) << out;
  EXPECT_EQ(cli("play " + (dir / "notes.txt").string(), out), 1);

  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(cli("play " + (dir / "Rec.IM2").string(), out), 1);
  test::loadEnglish();
  EXPECT_NE(out.find(lang::text(lang::TextId::SoundOutputUnavailable)), std::string::npos) << out;
}

TEST_F(SdlPlayback, OverviewCommandPrintsThePeaksAndWritesCsv) {
  test::toneRecording(30).writeIm2(dir / "rec.im2");
  std::string out;
  ASSERT_EQ(cli("overview " + (dir / "rec.im2").string() + " --csv " + (dir / "o.csv").string(), out), 0)
      << out;
  EXPECT_NE(out.find("30 points, 1 channel"), std::string::npos) << out;
  const std::string csv = test::readFile(dir / "o.csv");
  EXPECT_EQ(csv.rfind("point,min,max\n", 0), 0u);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 31);
  EXPECT_EQ(cli("overview " + (dir / "missing.wav").string(), out), 1);
}

}  // namespace
}  // namespace recdesk::playback
