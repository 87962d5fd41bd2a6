// The WAV filter end to end: generated WAV files in, filtered WAV files out.
#include <gtest/gtest.h>

#include "FilterTestUtil.h"
#include "TestSupport.h"
#include "audio/FirFilter.h"
#include "audio/WavFilter.h"
#include "lang/Strings.h"

namespace recdesk::audio {
namespace {

using test::channelOf;
using test::FakeUi;
using test::filesIn;
using test::mean;
using test::peak;
using test::readHeader;
using test::readSamples;
using test::rms;
using test::sine;
using test::TempDir;
using test::writeWav;

class WavFilterTest : public ::testing::Test {
 protected:
  void SetUp() override { test::loadEnglish(); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  TempDir dir;
  FakeUi ui;
};

// What the filter must write, computed the plain way one frame at a time: each channel through its
// own FirFilter::Apply; with level control the running mean per channel, one envelope shared by the
// channels, gain = 10000 / envelope (at most 8); clamped and truncated to 16 bits.
std::vector<std::int16_t> referenceFiltered(const std::vector<std::int16_t>& in, int channels, int mode,
                                            std::uint32_t rate) {
  const FilterModeInfo info = filterModeInfo(mode);
  double f1 = 0.0, f2 = 1.0;
  filterModeEdges(mode, rate, f1, f2);
  std::vector<FirFilter> filters(static_cast<std::size_t>(channels));
  for (auto& f : filters) f.Design(32, f1, f2);
  const double decay = std::exp(-3.0 / (rate * 2.0));
  const double attack = -3.0 / (rate * 0.1);
  double envelope = 32767.0;
  std::vector<double> means(static_cast<std::size_t>(channels), 0.0), y(means);
  std::vector<std::int16_t> out;
  for (std::size_t frame = 0; frame * channels < in.size(); ++frame) {
    for (std::size_t c = 0; c < y.size(); ++c) {
      const double x = in[frame * y.size() + c];
      y[c] = info.kind == FilterModeInfo::kNone ? x : filters[c].Apply(x);
      if (info.levelControl) {
        means[c] = y[c] * 0.0001 + means[c] * 0.9999;
        envelope *= std::fabs(envelope) >= std::fabs(y[c] - means[c]) ? decay : std::exp(-attack);
        envelope = std::max(envelope, 1.0);  // never down to 0 (from where it could not grow again)
      }
    }
    const double gain = std::min(10000.0 / envelope, 8.0);
    for (std::size_t c = 0; c < y.size(); ++c) {
      double v = info.levelControl ? (y[c] - means[c]) * gain : y[c];
      v = std::clamp(v, -32768.0, 32767.0);
      out.push_back(static_cast<std::int16_t>(v));
    }
  }
  return out;
}

TEST_F(WavFilterTest, SpeechBandKeepsSpeechAndRemovesHumAndHiss) {
  // 8000 Hz mono: the mode 0 edges are 0.075 and 0.825.
  double f1 = 0.0, f2 = 0.0;
  filterModeEdges(0, 8000, f1, f2);
  EXPECT_DOUBLE_EQ(f1, 0.075);
  EXPECT_DOUBLE_EQ(f2, 0.825);

  const std::uint32_t rate = 8000;
  const std::pair<double, bool> tones[] = {{1000.0, true}, {2000.0, true}, {20.0, false}, {3950.0, false}};
  for (auto [hz, kept] : tones) {
    writeWav(dir / "in.wav", rate, 1, rate, sine(10000.0, hz, rate));
    ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 0, ui)) << hz;
    const auto out = channelOf(readSamples(dir / "out.wav"), 1, 0, 400);
    const double gain = rms(out) / (10000.0 / std::sqrt(2.0));
    if (kept)
      EXPECT_NEAR(gain, 1.0, 0.06) << hz << " Hz";
    else
      EXPECT_LT(gain, 0.1) << hz << " Hz";
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WavFilterTest, HighAndLowPassModes) {
  const std::uint32_t rate = 8000;
  struct Case {
    int mode;
    double hz;
    bool kept;
  } cases[] = {{2, 2000.0, true}, {2, 3900.0, true}, {2, 20.0, false},
               {4, 50.0, true},   {4, 1000.0, true}, {4, 3950.0, false}};
  for (const auto& c : cases) {
    writeWav(dir / "in.wav", rate, 1, rate, sine(10000.0, c.hz, rate));
    ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), c.mode, ui));
    const double gain = rms(channelOf(readSamples(dir / "out.wav"), 1, 0, 400)) / (10000.0 / std::sqrt(2.0));
    if (c.kept)
      EXPECT_NEAR(gain, 1.0, 0.08) << "mode " << c.mode << " at " << c.hz << " Hz";
    else
      EXPECT_LT(gain, 0.1) << "mode " << c.mode << " at " << c.hz << " Hz";
  }
}

TEST_F(WavFilterTest, EveryModeMatchesThePlainComputationAcrossBlockEndsAndKeepsTheLength) {
  // 11025 Hz, a length that is no multiple of the 64000-byte blocks; in stereo left and right differ,
  // so a mix-up of the channels' filters or levels shows.
  const std::size_t frames = 40000;  // stereo: 160000 bytes = 2.5 blocks
  for (std::uint16_t channels : {1, 2}) {
    writeWav(dir / "in.wav", 11025, channels, frames, [](std::size_t i, int c) {
      const double quiet = i < 15000 ? 0.05 : 1.0;  // the level control has to lift and then lower
      return c == 0 ? quiet * (9000.0 * std::sin(i * 0.31) + 3000.0 * std::sin(i * 0.002)) + 700.0
                    : ((i / 37) % 2 ? 20000.0 : -20000.0);
    });
    const auto in = readSamples(dir / "in.wav");
    for (int mode = 0; mode < kFilterModeCount; ++mode) {
      ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), mode, ui)) << mode;
      const auto out = readSamples(dir / "out.wav");
      ASSERT_EQ(out.size(), frames * channels);
      EXPECT_EQ(out, referenceFiltered(in, channels, mode, 11025))
          << "mode " << mode << ", " << channels << " ch";
      const WaveHeader h = readHeader(dir / "out.wav");
      EXPECT_EQ(h.dataLength, frames * 2 * channels);
      EXPECT_EQ(h.riffLength, frames * 2 * channels + 36);
      EXPECT_EQ(h.channels, channels);
      EXPECT_EQ(h.sampleRate, 11025u);
      EXPECT_EQ(h.bitsPerSample, 16);
    }
  }
}

TEST_F(WavFilterTest, StereoChannelsAreFilteredIndependently) {
  // Left: a 1 kHz tone, right: silence. Without level control the right channel stays silent.
  writeWav(dir / "in.wav", 8000, 2, 8000,
           [](std::size_t i, int c) { return c == 0 ? 8000.0 * std::sin(i * M_PI / 4) : 0.0; });
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 0, ui));
  const auto out = readSamples(dir / "out.wav");
  EXPECT_EQ(peak(channelOf(out, 2, 1)), 0.0);
  EXPECT_GT(rms(channelOf(out, 2, 0, 100)), 5000.0);

  // Left: hum that the band-pass removes, right: speech-band tone that it keeps.
  writeWav(dir / "in.wav", 8000, 2, 8000, [](std::size_t i, int c) {
    return c == 0 ? 8000.0 * std::sin(2 * M_PI * 20.0 * i / 8000)
                  : 8000.0 * std::sin(2 * M_PI * 1500.0 * i / 8000);
  });
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 0, ui));
  const auto out2 = readSamples(dir / "out.wav");
  EXPECT_LT(rms(channelOf(out2, 2, 0, 400)), 8000.0 * 0.1);
  EXPECT_GT(rms(channelOf(out2, 2, 1, 400)), 8000.0 / std::sqrt(2.0) * 0.94);
}

TEST_F(WavFilterTest, LevelControlRemovesTheOffsetAndApproachesTheTargetLevel) {
  const std::uint32_t rate = 8000;
  // A tone with a DC offset of 1000: the output's mean approaches 0 within a few seconds, and its
  // level approaches 10000.
  writeWav(dir / "in.wav", rate, 1, rate * 8, sine(20000.0, 440.0, rate, 1000.0));
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 6, ui));
  auto out = readSamples(dir / "out.wav");
  ASSERT_EQ(out.size(), rate * 8);
  const auto last = channelOf(out, 1, 0, rate * 7);
  EXPECT_LT(std::fabs(mean(last)), 50.0);
  EXPECT_NEAR(peak(last), 10000.0, 1000.0);

  // A quiet input (peak 500): the gain rises to its limit of 8 and no further.
  writeWav(dir / "in.wav", rate, 1, rate * 6, sine(500.0, 440.0, rate));
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 6, ui));
  out = readSamples(dir / "out.wav");
  EXPECT_NEAR(peak(channelOf(out, 1, 0, rate * 5)), 4000.0, 100.0);

  // A full-scale input is brought down to the target level without wrapping around.
  writeWav(dir / "in.wav", rate, 1, rate * 6,
           [](std::size_t i, int) { return (i / 10) % 2 ? 32767.0 : -32768.0; });
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 5, ui));
  out = readSamples(dir / "out.wav");
  const auto loud = channelOf(out, 1, 0, rate * 5);
  EXPECT_LT(peak(loud), 16000.0);
  EXPECT_GT(peak(loud), 7000.0);
}

TEST_F(WavFilterTest, LevelControlRecoversAfterVeryLongSilence) {
  // Nine minutes of digital silence, then a tone: the envelope must still follow the tone (it would
  // otherwise have decayed to 0 and left the gain at 8, clipping the tone).
  const std::uint32_t rate = 1000;
  const std::size_t silence = rate * 540;
  writeWav(dir / "in.wav", rate, 1, silence + rate * 4, [&](std::size_t i, int) {
    return i < silence ? 0.0 : 5000.0 * std::sin(2 * M_PI * 50.0 * i / rate);
  });
  ASSERT_TRUE(Filter(path("in.wav"), path("out.wav"), 6, ui));
  const auto tail = channelOf(readSamples(dir / "out.wav"), 1, 0, silence + rate * 3);
  EXPECT_NEAR(peak(tail), 10000.0, 1000.0);
}

TEST_F(WavFilterTest, RefusesAnythingButSixteenBitMonoOrStereo) {
  writeWav(dir / "8bit.wav", 8000, 1, 1000, sine(5000.0, 440.0, 8000), 8);
  writeWav(dir / "3ch.wav", 8000, 3, 1000, sine(5000.0, 440.0, 8000));
  for (const char* name : {"8bit.wav", "3ch.wav"}) {
    ui.messages.clear();
    EXPECT_EQ(filterWav(path(name), path("out.wav"), 0, ui), FilterResult::Refused) << name;
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, lang::text(TextId::FilterRefused));
    EXPECT_EQ(ui.messages[0].caption, lang::text(TextId::FilterRefusedCaption));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
  }
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"3ch.wav", "8bit.wav"}));
}

TEST_F(WavFilterTest, RefusesMissingAndDamagedInputsWithAMessage) {
  const std::string garbage("this is not a wav file at all, just some text to fill a few bytes");
  test::writeFile(dir / "text.wav", garbage);
  test::writeFile(dir / "empty.wav", "");
  // A RIFF/WAVE file with a format chunk but no data chunk, and one whose chunk sizes run past its end.
  writeWav(dir / "good.wav", 8000, 1, 100, sine(1000.0, 100.0, 8000));
  std::string good = test::readFile(dir / "good.wav");
  test::writeFile(dir / "nodata.wav", good.substr(0, 36));
  std::string wild = good;
  wild[16] = '\xff';  // format chunk claims ~4 GiB
  wild[17] = '\xff';
  wild[18] = '\xff';
  wild[19] = '\x7f';
  test::writeFile(dir / "wild.wav", wild);
  std::string noChannels = good;
  noChannels[22] = 0;  // no channels
  test::writeFile(dir / "nochannels.wav", noChannels);

  for (const char* name :
       {"missing.wav", "text.wav", "empty.wav", "nodata.wav", "wild.wav", "nochannels.wav"}) {
    ui.messages.clear();
    EXPECT_EQ(filterWav(path(name), path("out.wav"), 1, ui), FilterResult::Refused) << name;
    ASSERT_EQ(ui.messages.size(), 1u) << name;
    EXPECT_NE(ui.messages[0].text.find(name), std::string::npos) << ui.messages[0].text;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav")) << name;
  }
}

}  // namespace
}  // namespace recdesk::audio
