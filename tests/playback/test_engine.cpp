// The playback engine over a fake sink: the bytes heard against the conversion's output for every
// encoding, partial files, pause / stop / seek, the end of a recording, closing and reopening, and
// a machine without a sound device.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "PlaybackTestSupport.h"
#include "TestSupport.h"
#include "audio/AudioDecoder.h"
#include "audio/WaveFile.h"
#include "playback/PlaybackEngine.h"

namespace recdesk::playback {
namespace {

using sim::Recording;
using sim::RecordingFormat;
using test::Events;
using test::FakeSink;

class Engine : public ::testing::Test {
 protected:
  std::string writeIm2(const Recording& r, const std::string& name = "rec.im2") {
    r.writeIm2(dir / name);
    return (dir / name).string();
  }
  // The recording's first `pages` pages decoded.
  static std::string decoded(const Recording& r, std::size_t from, std::size_t count) {
    audio::AudioDecoder d;
    d.setPage(r.page(r.pageCount() - 1));
    d.ParseHeader(false);
    std::string out;
    std::uint8_t buf[audio::kPageOutputBuffer];
    for (std::size_t i = from; i < from + count && i < r.pageCount(); ++i) {
      d.setPage(r.page(i));
      out.append(reinterpret_cast<const char*>(buf), d.DecodePage(buf).bytes);
    }
    return out;
  }
  test::TempDir dir;
};

// Returns when the worker has carried out every request before it: a seek beyond any file is
// carried out by being ignored.
void sync(PlaybackEngine& engine, Events& events) {
  events.seekAndWait(engine, 1'000'000'000'000);
}

struct Case {
  const char* name;
  std::uint32_t rate;
  int bits, channels, encoding;
};

TEST_F(Engine, HeardBytesEqualTheConversionForEveryEncoding) {
  const Case cases[] = {
      {"4-bit difference mono", 8000, 4, 1, 3},    {"4-bit adaptive stereo", 11025, 4, 2, 4},
      {"4-bit prediction8 mono", 8000, 4, 1, 5},   {"4-bit prediction stereo", 16000, 4, 2, 6},
      {"8-bit difference stereo", 11025, 8, 2, 3}, {"8-bit raw mono", 8000, 8, 1, 5},
      {"8-bit prediction mono", 22050, 8, 1, 6},   {"16-bit stereo", 22050, 16, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingFormat f;
    f.sampleRate = c.rate;
    f.bits = c.bits;
    f.channels = c.channels;
    f.encoding = c.encoding;
    f.searchWidth = 1;
    // 23 pages: the audio ends inside a buffer, so the last one is only partly filled.
    const std::string path = writeIm2(test::toneRecording(23, f));
    FakeSink sink(true);
    Events events;
    PlaybackEngine engine(sink, &events);
    ASSERT_TRUE(events.openAndWait(engine, path));
    engine.play();
    ASSERT_TRUE(events.waitEnded());
    const std::string expected = test::convertedAudio(path, dir.path());
    EXPECT_NE(expected.size() % WavePlayer::kBufferSize, 0u);
    EXPECT_EQ(sink.heard().size(), expected.size());
    EXPECT_TRUE(sink.heard() == expected);
    EXPECT_EQ(engine.state(), PlayState::Stopped);
  }
}

TEST_F(Engine, ContainerAndPartialRecordingsPlayWhatTheConversionWrites) {
  RecordingFormat outer;
  outer.family = audio::kFamilyR6;
  RecordingFormat inner;
  inner.family = audio::kFamilyT7;
  inner.encoding = audio::kEncodingPrediction8;
  auto tone = sim::makeTone(300, 0.4, 8000);
  const std::string container = writeIm2(sim::makeContainerRecording(outer, inner, *tone, 70), "box.im2");

  // A partial download: 40 of 60 pages and half a page more.
  const auto full = test::toneRecording(60).im2();
  std::string im2(reinterpret_cast<const char*>(full.data()), 41 * kPageSize + kPageSize / 2);
  test::writeFile(dir / "partial.im2", im2);

  for (const std::string& path : {container, (dir / "partial.im2").string()}) {
    SCOPED_TRACE(path);
    FakeSink sink(true);
    Events events;
    PlaybackEngine engine(sink, &events);
    ASSERT_TRUE(events.openAndWait(engine, path));
    engine.play();
    ASSERT_TRUE(events.waitEnded());
    EXPECT_TRUE(sink.heard() == test::convertedAudio(path, dir.path()));
  }
}

TEST_F(Engine, WavFilesPlayThroughTheSameEngine) {
  // 8-bit stereo, 11025 Hz: 3001 frames.
  std::string data;
  for (int i = 0; i < 6002; ++i) data += static_cast<char>(i * 7);
  {
    audio::WaveFile w;
    audio::FileError e;
    ASSERT_TRUE(
        w.Open((dir / "a.wav").string(), audio::CFile64::kWrite, 0, audio::CFile64::kCreateAlways, &e));
    w.SetFormat(11025, 8, 2);
    w.WriteAndExtend(data.data(), data.size());
    w.Close();
  }
  FakeSink sink(true);
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, (dir / "a.wav").string()));
  EXPECT_EQ(engine.status().kind, MediaKind::Wav);
  EXPECT_EQ(engine.status().lengthMs, 3001 * 1000 / 11025);
  EXPECT_EQ(sink.bits(), 8);
  engine.play();
  ASSERT_TRUE(events.waitEnded());
  EXPECT_TRUE(sink.heard() == data);
}

TEST_F(Engine, PlayPausePlayResumesAtTheSameSample) {
  const Recording r = test::toneRecording(100);  // 16-bit mono: 204,200 bytes
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, writeIm2(r)));
  engine.play();
  ASSERT_TRUE(sink.waitQueued(WavePlayer::kBufferCount - 1));
  ASSERT_TRUE(sink.play(3));
  engine.pause();
  sync(engine, events);
  EXPECT_EQ(engine.state(), PlayState::Paused);
  EXPECT_FALSE(sink.play(1));  // the output is paused: nothing more is heard
  const auto position = engine.status().positionMs;
  engine.play();
  sync(engine, events);
  EXPECT_NEAR(engine.status().positionMs, position, 1);  // pages and bytes round apart
  while (events.ended() == 0) {
    sink.waitQueued(1);
    sink.play(WavePlayer::kBufferCount);
  }
  EXPECT_TRUE(sink.heard() == decoded(r, 0, 100));  // nothing skipped, nothing twice
  EXPECT_EQ(events.states(), (std::vector<int>{1, 2, 1, 0}));
}

TEST_F(Engine, TheEndIsReachedOnlyWhenTheQueuedAudioHasBeenHeard) {
  const Recording r = test::toneRecording(10);
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, writeIm2(r)));
  engine.play();
  const std::size_t buffers =
      (decoded(r, 0, 10).size() + WavePlayer::kBufferSize - 1) / WavePlayer::kBufferSize;
  ASSERT_TRUE(sink.waitQueued(buffers));
  sink.play(buffers - 1);
  sync(engine, events);  // the worker has seen the buffers played
  EXPECT_EQ(engine.state(), PlayState::Playing);
  EXPECT_EQ(events.ended(), 0);
  sink.play(1);
  ASSERT_TRUE(events.waitEnded());
  EXPECT_EQ(engine.state(), PlayState::Stopped);
  EXPECT_EQ(engine.status().positionMs, 0);
}

TEST_F(Engine, StopThenPlayStartsAtTheFirstDataPage) {
  const Recording r = test::toneRecording(100);
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, writeIm2(r)));
  engine.play();
  ASSERT_TRUE(sink.waitQueued(WavePlayer::kBufferCount - 1));
  sink.play(5);
  engine.stop();
  sync(engine, events);
  EXPECT_EQ(sink.queued(), 0u);
  EXPECT_EQ(engine.status().positionMs, 0);
  const std::size_t before = sink.heard().size();
  engine.play();
  ASSERT_TRUE(sink.waitQueued(1));
  sink.play(1);
  EXPECT_TRUE(sink.heard().substr(before) == decoded(r, 0, 100).substr(0, WavePlayer::kBufferSize));
}

TEST_F(Engine, SeeksGoToTheNearestPageAndIgnoreTimesBeyondThePartialFile) {
  // 16-bit mono at 8000 Hz: 32 ms per page, so 1875 pages are exactly 60,000 ms.
  RecordingFormat f;
  f.bits = 16;
  const Recording r = test::toneRecording(1875, f);
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, writeIm2(r)));
  ASSERT_EQ(engine.status().lengthMs, 60000);

  // A click at the right end of the bar: the last page.
  EXPECT_EQ(events.seekAndWait(engine, clickTargetMs(60000, 400, 400)).positionMs, 1874 * 32);
  // 30,000 ms: page 937.5 → 938 (the nearest)
  EXPECT_EQ(events.seekAndWait(engine, clickTargetMs(60000, 200, 400)).positionMs, 938 * 32);
  engine.play();
  ASSERT_TRUE(sink.waitQueued(1));
  sink.play(1);
  EXPECT_TRUE(sink.heard() == decoded(r, 938, 20).substr(0, WavePlayer::kBufferSize));

  // A partial file of 1000 pages announcing 1875: a seek past its end changes nothing.
  const auto bytes = r.im2();
  test::writeFile(dir / "part.im2",
                  std::string(reinterpret_cast<const char*>(bytes.data()), 1001 * kPageSize));
  ASSERT_TRUE(events.openAndWait(engine, (dir / "part.im2").string()));
  EXPECT_EQ(engine.status().lengthMs, 32000);
  EXPECT_EQ(engine.status().totalMs, 60000);
  engine.seekMs(10000);
  EXPECT_EQ(events.seekAndWait(engine, 40000).positionMs, 10016);  // page 313 (10,000 ms is nearest to 313 × 32)
}

TEST_F(Engine, ClosingWhilePlayingStopsAtOnceAndReopeningResetsFirst) {
  const Recording r = test::toneRecording(100);
  const std::string path = writeIm2(r);
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, path));
  engine.play();
  ASSERT_TRUE(sink.waitQueued(WavePlayer::kBufferCount - 1));
  ASSERT_TRUE(events.openAndWait(engine, path));  // another file while buffers are queued
  EXPECT_FALSE(sink.queuedAtOpenOrClose);
  engine.play();
  ASSERT_TRUE(sink.waitQueued(WavePlayer::kBufferCount - 1));
  engine.close();
  sync(engine, events);
  const std::size_t writes = sink.writes();
  EXPECT_FALSE(sink.queuedAtOpenOrClose);
  EXPECT_EQ(sink.queued(), 0u);
  EXPECT_EQ(engine.state(), PlayState::Stopped);
  EXPECT_FALSE(engine.status().loaded);
  engine.play();  // nothing is loaded: nothing plays
  EXPECT_FALSE(events.seekAndWait(engine, 0).loaded);
  EXPECT_EQ(sink.writes(), writes);
  EXPECT_EQ(engine.state(), PlayState::Stopped);
  EXPECT_EQ(events.ended(), 0);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"open", "reset", "close", "open", "reset", "close"}));
}

TEST_F(Engine, RequestsMadeWhileAnOpenIsPendingApplyToTheFileBeingOpened) {
  RecordingFormat f;
  f.bits = 16;
  const Recording r = test::toneRecording(200, f);  // 32 ms per page
  const std::string first = writeIm2(r, "first.im2");
  test::writeFile(dir / "bad.wav", "not a wave file");
  FakeSink sink(true);
  Events events;
  PlaybackEngine engine(sink, &events);
  // None of these waits for the worker; they are carried out in order.
  engine.open((dir / "bad.wav").string());
  engine.open(first);
  engine.seekMs(100 * 32);
  engine.play();
  ASSERT_TRUE(events.waitEnded());
  EXPECT_EQ(events.openFailed(), 1);
  EXPECT_EQ(events.opened().path, first);
  EXPECT_EQ(events.opened().lengthMs, 200 * 32);
  EXPECT_TRUE(sink.heard() == decoded(r, 100, 100));  // from the seek's page to the end

  // A close queued behind a play leaves nothing loaded and nothing playing.
  engine.open(first);
  engine.play();
  engine.close();
  const PlaybackStatus after = events.seekAndWait(engine, 0);
  EXPECT_FALSE(after.loaded);
  EXPECT_EQ(engine.state(), PlayState::Stopped);
}

TEST_F(Engine, OnlyIm2AndWavFilesLoadWhateverTheirLetterCase) {
  EXPECT_EQ(mediaKindFor("/a/B.IM2"), MediaKind::Im2);
  EXPECT_EQ(mediaKindFor("b.im2"), MediaKind::Im2);
  EXPECT_EQ(mediaKindFor("c.Im2"), MediaKind::Im2);
  EXPECT_EQ(mediaKindFor("d.wAv"), MediaKind::Wav);
  EXPECT_EQ(mediaKindFor("e.txt"), MediaKind::None);
  EXPECT_EQ(mediaKindFor("im2"), MediaKind::None);

  const Recording r = test::toneRecording(3);
  r.writeIm2(dir / "upper.IM2");
  r.writeIm2(dir / "notes.txt");
  FakeSink sink;
  Events events;
  PlaybackEngine engine(sink, &events);
  EXPECT_TRUE(events.openAndWait(engine, (dir / "upper.IM2").string()));
  EXPECT_FALSE(events.openAndWait(engine, (dir / "notes.txt").string()));
  EXPECT_FALSE(engine.status().loaded);
  EXPECT_FALSE(events.openAndWait(engine, (dir / "missing.im2").string()));
  test::writeFile(dir / "short.im2", "not a recording");
  EXPECT_FALSE(events.openAndWait(engine, (dir / "short.im2").string()));
  EXPECT_EQ(events.openFailed(), 3);
}

TEST_F(Engine, WithoutASoundDeviceItSaysSoOnceAndPlaysSilently) {
  RecordingFormat f;
  f.bits = 16;
  const std::string path = writeIm2(test::toneRecording(3, f));  // 96 ms
  FakeSink sink;
  sink.available = false;
  Events events;
  PlaybackEngine engine(sink, &events);
  ASSERT_TRUE(events.openAndWait(engine, path));
  EXPECT_FALSE(engine.status().soundAvailable);
  ASSERT_TRUE(events.openAndWait(engine, path));
  EXPECT_EQ(events.soundUnavailable(), 1);
  engine.play();
  ASSERT_TRUE(events.waitEnded());  // at the real-time pace of the silent output
  EXPECT_EQ(sink.writes(), 0u);
  EXPECT_EQ(engine.state(), PlayState::Stopped);
}

}  // namespace
}  // namespace recdesk::playback
