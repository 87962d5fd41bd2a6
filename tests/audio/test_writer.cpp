// The recording writer: page layout of a whole recording, and the quality its analysis-by-synthesis
// encoders reach through the real decoder on a 1 kHz tone (a floor per encoding).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "TestSupport.h"
#include "audio/AudioDecoder.h"
#include "recording/RecordingWriter.h"

namespace recdesk::sim {
namespace {

using audio::AudioDecoder;

TEST(RecordingWriter, Im2HoldsTheLastPageFirstThenEveryPageInOrder) {
  RecordingFormat f;
  f.serial = 321;
  f.fileNumber = 17;
  auto tone = makeTone(440, 0.3, f.sampleRate);
  const Recording r = makeRecording(f, *tone, 5);
  const auto im2 = r.im2();
  ASSERT_EQ(im2.size(), 6 * kPageSize);
  EXPECT_TRUE(std::equal(im2.begin(), im2.begin() + kPageSize, r.page(4)));

  AudioDecoder d;
  d.setPage(im2.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.pageCount(), 5);
  EXPECT_EQ(d.deviceName(), "R5-00321");
  EXPECT_EQ(d.fileNumber(), 17);
  EXPECT_EQ(d.startTime(), f.start);
  std::vector<std::uint8_t> out(audio::kPageOutputBuffer);
  for (std::size_t i = 0; i < 5; ++i) {
    d.setPage(im2.data() + (i + 1) * kPageSize);
    EXPECT_EQ(d.bufferPageNumber(), static_cast<std::int32_t>(i));
    EXPECT_TRUE(audio::pageCheckOk(d.pageBuffer()));
    EXPECT_EQ(d.DecodePage(out.data()).flags, 0u) << i;
    d.nextPage();
  }
  EXPECT_TRUE(makeRecording(f, *tone, 0).im2().empty());
  EXPECT_THROW(PageEncoder({8000, 4, 1, 7}), std::invalid_argument);  // refused by the decoder
  EXPECT_THROW(formatByte(44100, 4, 1), std::invalid_argument);
}

TEST(RecordingWriter, StreamedFileEqualsTheRecordingInMemory) {
  test::TempDir dir;
  RecordingFormat f;
  f.bits = 8;
  f.encoding = 6;
  f.channels = 2;
  auto a = makeMelody(f.sampleRate, 0.5);
  auto b = makeMelody(f.sampleRate, 0.5);
  const Recording r = makeRecording(f, *a, 300);
  EXPECT_EQ(writeIm2File(dir / "x.im2", f, *b, 300), 300u);
  const std::string bytes = test::readFile(dir / "x.im2");
  const auto expected = r.im2();
  ASSERT_EQ(bytes.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const std::uint8_t*>(bytes.data())));
}

struct Case {
  int encoding, bits, channels;
  double floorDb;  // measured values (see the report) less a margin
};

// SNR of a decoded 1 kHz tone at -12 dBFS against the writer's input, in the output's full scale.
double toneSnr(const Case& c, std::uint32_t rate) {
  RecordingFormat f;
  f.sampleRate = rate;
  f.bits = c.bits;
  f.channels = c.channels;
  f.encoding = c.encoding;
  const PageEncoder encoder(f);
  const std::size_t pages = 40;
  auto tone = makeTone(1000, 0.25, rate);
  const Recording r = makeRecording(f, *tone, pages);
  auto reference = makeTone(1000, 0.25, rate);
  std::vector<std::int16_t> input(encoder.framesPerPage() * static_cast<std::size_t>(c.channels));

  AudioDecoder d;
  d.setPage(r.page(pages - 1));
  d.ParseHeader(false);
  std::vector<std::uint8_t> out(audio::kPageOutputBuffer);
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < pages; ++i) {
    d.setPage(r.page(i));
    const auto result = d.DecodePage(out.data());
    EXPECT_EQ(result.flags, 0u);
    reference->generate(input.data(), encoder.framesPerPage(), c.channels);
    const bool eight = d.outputBits() == 8;
    const std::size_t samples = eight ? result.bytes : result.bytes / 2u;
    EXPECT_EQ(samples, input.size());
    for (std::size_t k = 0; k < samples && k < input.size(); ++k) {
      const double decoded = eight ? (out[k] - 128.0) * 256.0
                                   : static_cast<std::int16_t>(static_cast<std::uint16_t>(out[2 * k] | (out[2 * k + 1] << 8)));
      const double ref = input[k];
      signal += ref * ref;
      noise += (decoded - ref) * (decoded - ref);
    }
    d.nextPage();
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

TEST(RecordingWriter, RoundTripReachesItsSnrFloorForEveryEncoding) {
  // Floors are the SNR measured at 8000 Hz less about 3 dB.
  const Case cases[] = {
      {3, 4, 1, 19}, {3, 4, 2, 19}, {4, 4, 1, 14}, {4, 4, 2, 14}, {6, 4, 1, 21}, {6, 4, 2, 21},
      {5, 4, 1, 20}, {5, 4, 2, 20}, {3, 8, 1, 36}, {3, 8, 2, 36}, {6, 8, 1, 36}, {6, 8, 2, 36},
      {5, 8, 1, 33}, {5, 8, 2, 33}, {3, 16, 1, 150}, {6, 16, 2, 150},  // 16 bits: exact
  };
  for (const Case& c : cases) {
    const double snr = toneSnr(c, 8000);
    std::printf("encoding %2d, %2d bits, %s: SNR %.1f dB\n", c.encoding, c.bits, c.channels == 1 ? "mono  " : "stereo",
                snr);
    EXPECT_GE(snr, c.floorDb) << "encoding " << c.encoding << " bits " << c.bits << " channels " << c.channels;
  }
}

TEST(RecordingWriter, ContainerStreamCarriesAnInnerHeaderAndNumberedInnerPages) {
  RecordingFormat outer;
  outer.family = audio::kFamilyR6;
  RecordingFormat inner;
  inner.family = audio::kFamilyT7;
  inner.encoding = 5;
  inner.serial = 777;
  auto tone = makeTone(500, 0.3, 8000);
  const Recording r = makeContainerRecording(outer, inner, *tone, 10);
  // 11 inner pages of 528 bytes in payloads of 512: 12 outer pages.
  ASSERT_EQ(r.pageCount(), 12u);
  std::vector<std::uint8_t> stream;
  AudioDecoder d;
  d.setPage(r.page(11));
  d.ParseHeader(false);
  EXPECT_TRUE(d.container());
  std::vector<std::uint8_t> out(audio::kPageOutputBuffer);
  for (std::size_t i = 0; i < r.pageCount(); ++i) {
    d.setPage(r.page(i));
    const auto res = d.DecodePage(out.data());
    EXPECT_EQ(res.flags, 0u);
    stream.insert(stream.end(), out.begin(), out.begin() + res.bytes);
    d.nextPage();
  }
  AudioDecoder in;
  in.setPage(stream.data());
  in.ParseHeader(true);
  EXPECT_EQ(in.pageCount(), 10);
  EXPECT_EQ(in.deviceName(), "T7-00777");
  for (int k = 0; k < 10; ++k) {
    in.setPage(stream.data() + (k + 1) * kPageSize);
    EXPECT_EQ(in.DecodePage(out.data()).flags, 0u) << k;
    in.nextPage();
  }
  EXPECT_EQ(stream[11 * kPageSize], 0xFF);  // the fill after the last inner page
}

}  // namespace
}  // namespace recdesk::sim
