// Page decoder: descrambling and check, trailer expectations, and the first samples of every
// encoding worked out by hand from the decoding rules (clamps, arithmetic shifts, the 16-bit wrap).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "audio/AudioDecoder.h"
#include "audio/Im2Format.h"
#include "audio/PageCodec.h"
#include "lang/Strings.h"
#include "recording/RecordingWriter.h"

namespace recdesk::audio {
namespace {

using Page = std::array<std::uint8_t, kPageSize>;

// A page whose plain payload starts with `prefix` (the rest 0), scrambled with a correct check byte.
Page makePage(const std::vector<std::uint8_t>& prefix, std::uint8_t format, std::uint8_t encoding,
              std::int32_t pageNumber = 0, std::uint8_t fill = 0) {
  std::array<std::uint8_t, kPayloadSize> plain{};
  plain.fill(fill);
  std::copy(prefix.begin(), prefix.end(), plain.begin());
  sim::PageTrailer t;
  t.fileNumber = 7;
  t.serial = 4242;
  t.startTime = packStartTime({2023, 11, 5, 14, 3, 9});
  t.pageNumber = pageNumber;
  t.format = format;
  t.encoding = encoding;
  Page page{};
  sim::buildPage(plain.data(), t, page.data());
  return page;
}

struct Decoded {
  PageResult result;
  std::vector<std::uint8_t> bytes;
  std::int16_t s16(std::size_t i) const {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
};

Decoded decode(const Page& page) {
  AudioDecoder d;
  d.setPage(page.data());
  d.ParseHeader(false);
  std::array<std::uint8_t, kPageOutputBuffer> out{};
  Decoded r;
  r.result = d.DecodePage(out.data());
  r.bytes.assign(out.begin(), out.begin() + r.result.bytes);
  return r;
}

constexpr std::uint8_t kMono4 = 0x00, kStereo4 = 0x20, kMono8 = 0x04, kStereo8 = 0x24, kMono16 = 0x08;

TEST(PageCheck, DescramblesWithTheRunningKeyAndChecksTheSum) {
  // Trailer: file number 1, format byte 0x08 (16-bit): key = 0x01 ^ 0x08 = 0x09.
  Page page{};
  page[512] = 0x01;
  page[524] = 0x08;
  page[0] = 0x10;
  page[1] = 0x20;
  // Sum of bytes 0..526 = 0x10 + 0x20 + 0x01 + 0x08 = 0x39, plus the key 0x09.
  EXPECT_EQ(pageCheckByte(page.data()), 0x42);
  page[527] = 0x42;
  EXPECT_TRUE(pageCheckOk(page.data()));

  AudioDecoder d;
  d.setPage(page.data());
  d.ParseHeader(false);
  d.setExpectedPageNumber(0);
  std::array<std::uint8_t, kPageOutputBuffer> out{};
  const PageResult r = d.DecodePage(out.data());
  EXPECT_EQ(r.flags, 0u);
  ASSERT_EQ(r.bytes, 512);
  // plain0 = 0x10 ^ 0x09 = 0x19, key 0x19; plain1 = 0x20 ^ 0x19 = 0x39, key 0x39; then 0x39 on.
  EXPECT_EQ(out[0], 0x19);
  EXPECT_EQ(out[1], 0x39);
  EXPECT_EQ(out[2], 0x39);
  EXPECT_EQ(out[511], 0x39);
}

TEST(PageCheck, AllZeroTrailerLeavesThePayloadAndAnyPayloadChangeBreaksTheCheck) {
  Page page{};
  page[0] = 0x80;
  page[1] = 0x80;  // sum 0x100: check byte 0 holds
  EXPECT_TRUE(pageCheckOk(page.data()));
  page[1] = 0x81;
  EXPECT_FALSE(pageCheckOk(page.data()));

  // Changing one scrambled byte changes every later plain byte and fails the check, but the page
  // is decoded all the same.
  Page good = makePage({}, kMono16, 0x00);
  Page bad = good;
  bad[100] ^= 0x01;
  const Decoded a = decode(good);
  const Decoded b = decode(bad);
  EXPECT_EQ(a.result.flags, 0u);
  EXPECT_EQ(b.result.flags, kFlagCheck);
  ASSERT_EQ(b.result.bytes, 512);
  EXPECT_TRUE(std::equal(a.bytes.begin(), a.bytes.begin() + 100, b.bytes.begin()));
  for (std::size_t i = 100; i < 512; ++i) EXPECT_NE(a.bytes[i], b.bytes[i]) << i;
  // Bytes 525 and 526 are in the check as well.
  for (std::size_t at : {std::size_t{525}, std::size_t{526}}) {
    Page p = good;
    p[at] ^= 0x40;
    EXPECT_FALSE(pageCheckOk(p.data())) << at;
  }
}

TEST(PageCheck, TrailerMismatchesSetTheirFlags) {
  AudioDecoder d;
  const Page header = makePage({}, kMono4, 0x03, 99);
  d.setPage(header.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.pageCount(), 100);
  std::array<std::uint8_t, kPageOutputBuffer> out{};

  Page p = makePage({}, kMono4, 0x03, 1);  // expected 0
  d.setPage(p.data());
  EXPECT_EQ(d.DecodePage(out.data()).flags, kFlagPageNumber);
  d.nextPage();
  EXPECT_EQ(d.DecodePage(out.data()).flags, 0u);

  sim::PageTrailer t;
  t.fileNumber = 8;  // differs
  t.serial = 4243;   // differs
  t.startTime = 0;   // differs
  t.pageNumber = 1;
  t.format = kMono4;
  t.encoding = 0x03;
  std::array<std::uint8_t, kPayloadSize> plain{};
  sim::buildPage(plain.data(), t, p.data());
  p[527] ^= 0xFF;
  d.setPage(p.data());
  EXPECT_EQ(d.DecodePage(out.data()).flags, kFlagFileNumber | kFlagSerial | kFlagStartTime | kFlagCheck);
}

TEST(ParseHeader, FormatFamilyAndExpectations) {
  AudioDecoder d;
  // Rate index 3 (22050), bits index 0 (4), stereo; encoding 6 of family 1.
  Page p = makePage({}, 0x23, static_cast<std::uint8_t>(6 | (1 << 5)), 41);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.sampleRate(), 22050u);
  EXPECT_EQ(d.encodedBits(), 4);
  EXPECT_EQ(d.channels(), 2);
  EXPECT_EQ(d.outputBits(), 16);
  EXPECT_EQ(d.deviceName(), "R6-04242");
  EXPECT_EQ(d.fileNumber(), 7);
  EXPECT_EQ(d.pageCount(), 42);
  EXPECT_EQ(d.expectedPageNumber(), 0);
  EXPECT_FALSE(d.container());
  EXPECT_EQ(d.startTime(), (DateTime{2023, 11, 5, 14, 3, 9}));

  // Family 5 forms no name: the previous one stays.
  p = makePage({}, 0x01, static_cast<std::uint8_t>(5 | (5 << 5)), 9);
  d.setPage(p.data());
  d.ParseHeader(true);
  EXPECT_EQ(d.deviceName(), "R6-04242");
  EXPECT_EQ(d.outputBits(), 8);
  EXPECT_EQ(d.sampleRate(), 11025u);
  EXPECT_EQ(d.firstPageNumber(), 9);
  EXPECT_EQ(d.expectedPageNumber(), 10);

  // The container encoding forces 8000 Hz, 8 bits, mono.
  p = makePage({}, 0x2B, static_cast<std::uint8_t>(31 | (2 << 5)), 0);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_TRUE(d.container());
  EXPECT_EQ(d.sampleRate(), 8000u);
  EXPECT_EQ(d.encodedBits(), 8);
  EXPECT_EQ(d.outputBits(), 8);
  EXPECT_EQ(d.channels(), 1);
  EXPECT_EQ(d.deviceName(), "T7-04242");
}

TEST(ParseHeader, RefusesUndefinedFormatsAndDecodesNothingForThem) {
  AudioDecoder d;
  // Bits index 5.
  Page p = makePage({}, 0x14, 0x03);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.formatProblem(), FormatProblem::UndefinedBits);
  std::array<std::uint8_t, kPageOutputBuffer> out{};
  EXPECT_EQ(d.DecodePage(out.data()).bytes, 0);
  // 4 bits with encoding 7 or 0.
  for (std::uint8_t e : {std::uint8_t{7}, std::uint8_t{0}, std::uint8_t{30}}) {
    p = makePage({}, kMono4, e);
    d.setPage(p.data());
    d.ParseHeader(false);
    EXPECT_EQ(d.formatProblem(), FormatProblem::UndefinedEncoding4) << int(e);
  }
  // 8 bits with any encoding decodes (as encoding 3); encoding 5 at 16 bits is 16-bit PCM.
  p = makePage({}, kMono8, 17);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_TRUE(d.formatSupported());
  p = makePage({}, kMono16, 5);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.pageKind(), PageKind::Pcm16);
  EXPECT_EQ(d.outputBits(), 16);
}

TEST(StartTime, InvalidMonthOrDayGivesTheNullDate) {
  EXPECT_EQ(unpackStartTime(packStartTime({2024, 2, 29, 23, 59, 58})), (DateTime{2024, 2, 29, 23, 59, 58}));
  EXPECT_TRUE(unpackStartTime(packStartTime({2024, 0, 10, 1, 2, 3})).isNull());
  EXPECT_TRUE(unpackStartTime(packStartTime({2024, 13, 10, 1, 2, 3})).isNull());
  EXPECT_TRUE(unpackStartTime(packStartTime({2024, 5, 0, 1, 2, 3})).isNull());
  EXPECT_EQ(addSeconds({2024, 2, 28, 23, 0, 0}, 3600 + 86400), (DateTime{2024, 3, 1, 0, 0, 0}));
  EXPECT_EQ(formatDateTime({2024, 3, 1, 7, 8, 9}), "2024/03/01 07:08:09");
}

TEST(StartTime, PatternTextNeedsACalendarDateAndValuesOrderByDateThenTime) {
  EXPECT_EQ((DateTime{2024, 3, 1, 7, 8, 9}).format("%a %d %b %Y %H:%M:%S day %j"), "Fri 01 Mar 2024 07:08:09 day 061");
  EXPECT_EQ((DateTime{1899, 12, 30, 0, 0, 0}).format("%Y-%m-%d"), "1899-12-30");
  EXPECT_EQ((DateTime{2023, 2, 29, 0, 0, 0}).format("%Y"), "");
  EXPECT_EQ((DateTime{2024, 5, 1, 24, 0, 0}).format("%Y"), "");
  EXPECT_EQ(DateTime{}.format("%Y"), "");
  EXPECT_LT((DateTime{2024, 5, 1, 23, 59, 59}), (DateTime{2024, 5, 2, 0, 0, 0}));
  EXPECT_LT((DateTime{1899, 12, 29, 23, 0, 0}), (DateTime{1899, 12, 30, 0, 0, 0}));
}

TEST(Encoding3, FourBitsMonoDifferencesAndClamp) {
  // Initial 1000; byte 0xF0: code 0 (-2959) then 15 (+2866); then code 0 until the clamp.
  const Decoded r = decode(makePage({0xE8, 0x03, 0xF0}, kMono4, 3));
  ASSERT_EQ(r.bytes.size(), 2042u);
  const std::int16_t expected[] = {2000, -3918, 1814, -4104, -10022, -15940, -21858, -27776, -32768, -32768};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r.s16(i), expected[i]) << i;
}

TEST(Encoding3, FourBitsStereoNibblesGoToTheirChannels) {
  // Channel 1 starts at 0x4000 (clamped to 16383), channel 2 at -2; byte 0x8F: ch1 code 15, ch2 code 8.
  const Decoded r = decode(makePage({0x00, 0x40, 0xFE, 0xFF, 0x8F}, kStereo4, 3));
  ASSERT_EQ(r.bytes.size(), 509u * 4);
  EXPECT_EQ(r.s16(0), 32766);
  EXPECT_EQ(r.s16(1), -4);
  EXPECT_EQ(r.s16(2), 32766);  // 16383 + 2866 clamps
  EXPECT_EQ(r.s16(3), -4);     // code 8: +0
}

TEST(Encoding4, FourBitsMonoAdaptiveStep) {
  // Initial 100; codes 15, 15, 15, 0, 8, 8 (bytes 0xFF, 0x0F, 0x88).
  const Decoded r = decode(makePage({100, 0, 0xFF, 0x0F, 0x88}, kMono4, 4));
  ASSERT_EQ(r.bytes.size(), 2042u);
  // x1: 100 -> +190 (s 0->4) 290 -> +3040 (s 8) 3330 -> +48640 clamps 16383 (s 12)
  //   -> -195*4096 clamps -16384 (s 16 -> 14) -> +0 (s 12) -> +0 (s 10).
  const std::int16_t expected[] = {200, 580, 6660, 32766, -32768, -32768, -32768};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r.s16(i), expected[i]) << i;
}

TEST(Encoding4, FourBitsStereoLimitsTheFirstOutputButKeepsTheState) {
  // Channel 1 starts at 10000: output 8191 x 4, state 10000; its first code 0 gives 10000 - 195.
  const Decoded r = decode(makePage({0x10, 0x27, 0x00, 0x00, 0x80}, kStereo4, 4));
  EXPECT_EQ(r.s16(0), 32764);
  EXPECT_EQ(r.s16(1), 0);
  EXPECT_EQ(r.s16(2), 32764);  // 9805 clamps to 8191 in stereo
  EXPECT_EQ(r.s16(3), 0);      // code 8
  // Had the state started at 8191 the first code would have given 7996 x 4.
  const Decoded low = decode(makePage({0xFF, 0x1F, 0x00, 0x00, 0x80}, kStereo4, 4));
  EXPECT_EQ(low.s16(2), 7996 * 4);
}

TEST(Encoding5, FourBitsPredictionInTheEightBitDomain) {
  // Payload byte 0 is output as it is: the first output byte equals the plain byte.
  const Decoded r = decode(makePage({128, 0xFF, 0x00}, kMono4, 5));
  ASSERT_EQ(r.bytes.size(), 1023u);
  // x = 128, s 0: code 15 -> 128+32-128+32+64+27 = 155 (s 3); code 15 -> 155+39-128+32+64+216 = 378
  // clamps 255 (s 5); code 0 -> 255+64-155+39+64-864 clamps 0.
  const std::uint8_t expected[] = {128, 155, 255, 0};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r.bytes[i], expected[i]) << i;

  AudioDecoder d;
  const Page p = makePage({}, kMono4, 5);
  d.setPage(p.data());
  d.ParseHeader(false);
  EXPECT_EQ(d.samplesPerPage(), 1021u);  // the time arithmetic counts 1021 all the same
}

TEST(Encoding5, EightBitsIsPlainUnsignedPcm) {
  const Decoded r = decode(makePage({1, 2, 250}, kStereo8, 5));
  ASSERT_EQ(r.bytes.size(), 512u);
  EXPECT_EQ(r.bytes[0], 1);
  EXPECT_EQ(r.bytes[2], 250);
}

TEST(Encoding6, FourBitsPredictionWithArithmeticShifts) {
  // Initial 100 (x1 = x2 = x3 = 100, s 5); codes 0, 0, 0.
  const Decoded r = decode(makePage({100, 0, 0x00, 0x00}, kMono4, 6));
  // q 100, d -864 -> -764 (s 7); q = -764 + (-191) - 100 + 25 + 50 = -980, d -3456 -> -4436;
  // q = -4436 - 1109 + 764 - 191 + 50 = -4922, d -3456 -> -8378 clamps -8192.
  const std::int16_t expected[] = {400, -3056, -17744, -32768};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r.s16(i), expected[i]) << i;
  // Rising: codes 15, 15, 15 from 100.
  const Decoded up = decode(makePage({100, 0, 0xFF, 0x0F}, kMono4, 6));
  const std::int16_t rising[] = {400, 3856, 18544, 32764};
  for (std::size_t i = 0; i < std::size(rising); ++i) EXPECT_EQ(up.s16(i), rising[i]) << i;
}

TEST(Encoding6, EightBitsSumWrapsAsSixteenBitsBeforeTheClamp) {
  // Initial 8000 (s 5); code 255: y = 8000 + 507*32 = 24224 clamps 8191, s 8 -> 6;
  // code 255: q = 4000 + 4095 = 8095, 8095 + 507*64 = 40543 wraps to -24993, clamps -8192.
  const Decoded r = decode(makePage({0x40, 0x1F, 255, 255, 128}, kMono8, 6));
  ASSERT_EQ(r.bytes.size(), 1022u);
  EXPECT_EQ(r.s16(0), 32000);
  EXPECT_EQ(r.s16(1), 32764);
  EXPECT_EQ(r.s16(2), -32768);
  // code 128 adds 0 and steps down: q = (8191 >> 1) + (-8192 >> 1) = 4095 - 4096 = -1.
  EXPECT_EQ(r.s16(3), -4);
  // An initial -20000 clamps to -16384 and then to -8192.
  const Decoded low = decode(makePage({0xE0, 0xB1}, kMono8, 6));
  EXPECT_EQ(low.s16(0), -32768);
}

TEST(Encoding3, EightBitsByteTableAndEncodingZeroDecodesTheSame) {
  // Initial 0x4000 clamps to 16383; byte 255 (+8019) stays clamped; byte 0 (-8020) gives 8363.
  const Decoded r = decode(makePage({0x00, 0x40, 255, 0}, kMono8, 3));
  ASSERT_EQ(r.bytes.size(), 1022u);
  EXPECT_EQ(r.s16(0), 32766);
  EXPECT_EQ(r.s16(1), 32766);
  EXPECT_EQ(r.s16(2), 16726);
  const Decoded zero = decode(makePage({0x00, 0x40, 255, 0}, kMono8, 0));
  const Decoded four = decode(makePage({0x00, 0x40, 255, 0}, kMono8, 4));
  EXPECT_EQ(zero.bytes, r.bytes);
  EXPECT_EQ(four.bytes, r.bytes);
  // Stereo: 255 frames.
  EXPECT_EQ(decode(makePage({}, kStereo8, 3)).bytes.size(), 1020u);
}

TEST(Timing, SamplesPerPageDurationsAndPageIndex) {
  EXPECT_EQ(samplesPerPage(4, 1), 1021u);
  EXPECT_EQ(samplesPerPage(4, 2), 509u);
  EXPECT_EQ(samplesPerPage(8, 1), 511u);
  EXPECT_EQ(samplesPerPage(8, 2), 255u);
  EXPECT_EQ(samplesPerPage(16, 1), 256u);
  EXPECT_EQ(samplesPerPage(16, 2), 128u);

  AudioDecoder d;
  const Page p = makePage({}, kMono4, 3, 28199);
  d.setPage(p.data());
  d.ParseHeader(false);
  // 28200 pages x 1021 samples at 8000 Hz = 3,599,025 ms.
  EXPECT_EQ(d.totalLengthMs(), 3599025);
  EXPECT_EQ(d.durationMs(1), 127);  // 127.625 truncated
  EXPECT_EQ(d.pageIndexForMs(0), 0);
  EXPECT_EQ(d.pageIndexForMs(64), 1);  // 512 samples: past half a page
  EXPECT_EQ(d.pageIndexForMs(63), 0);
  // Position: page number in the buffer + 1 pages, less the queued time.
  d.setQueuedTimeMs(27);
  EXPECT_EQ(d.positionMs(), d.durationMs(28200) - 27);
}

TEST(FormatVersion, AcceptedAndRejectedByFamily) {
  using F = FormatVersion;
  EXPECT_EQ(AudioDecoder::checkFormatVersion(0, 3), F::Accepted);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(0, 31), F::Accepted);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(0, 2), F::RejectedOld);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(0, 7), F::RejectedNew);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(1, 5), F::Accepted);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(1, 4), F::RejectedOld);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(1, 6), F::RejectedNew);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(2, 5), F::Accepted);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(2, 31), F::RejectedNew);
  EXPECT_EQ(AudioDecoder::checkFormatVersion(3, 5), F::RejectedSilent);

  test::loadEnglish();
  test::FakeUi ui;
  AudioDecoder d;
  Page p = makePage({}, kMono4, static_cast<std::uint8_t>(2));
  d.setPage(p.data());
  EXPECT_FALSE(d.CheckFormatVersion(&ui));
  p = makePage({}, kMono4, static_cast<std::uint8_t>(6 | (1 << 5)));
  d.setPage(p.data());
  EXPECT_FALSE(d.CheckFormatVersion(&ui));
  p = makePage({}, kMono4, static_cast<std::uint8_t>(5 | (7 << 5)));
  d.setPage(p.data());
  EXPECT_FALSE(d.CheckFormatVersion(&ui));
  p = makePage({}, kMono4, static_cast<std::uint8_t>(5 | (2 << 5)));
  d.setPage(p.data());
  EXPECT_TRUE(d.CheckFormatVersion(&ui));
  ASSERT_EQ(ui.messages.size(), 2u);  // families 0 and 1; family 7 is silent
  EXPECT_EQ(ui.messages[0].text, lang::text(57716));
  EXPECT_EQ(ui.messages[1].text, lang::text(57717));
}

TEST(ScanPeaks, MinimaAndMaximaPerChannel) {
  const std::int16_t samples[] = {5, -7, 300, 2, -40, 9};
  Peaks peaks;
  EXPECT_EQ(AudioDecoder::ScanPeaks(reinterpret_cast<const std::uint8_t*>(samples), sizeof samples, 2, peaks), 6u);
  EXPECT_EQ(peaks.min[0], -40);
  EXPECT_EQ(peaks.max[0], 300);
  EXPECT_EQ(peaks.min[1], -7);
  EXPECT_EQ(peaks.max[1], 9);
  AudioDecoder::ScanPeaks(reinterpret_cast<const std::uint8_t*>(samples), sizeof samples, 1, peaks);
  EXPECT_EQ(peaks.min[0], -40);
  EXPECT_EQ(peaks.max[1], -32768);  // untouched in mono
  AudioDecoder::ScanPeaks(nullptr, 0, 1, peaks);
  EXPECT_EQ(peaks.min[0], 32767);
}

}  // namespace
}  // namespace recdesk::audio

namespace recdesk::audio::codec {
namespace {

// The encoding 6 step folds its two clamps into one; it must equal the two-clamp rule for every
// state and code the decoder can meet.
TEST(Encoding6, FoldedClampEqualsTheTwoClampRule) {
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::int32_t lo, std::int32_t hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
  };
  for (int n = 0; n < 200000; ++n) {
    Channel ch{next(-8192, 8191), next(-8192, 8191), next(-8192, 8191), next(0, 7)};
    const auto c = static_cast<unsigned>(next(0, 15));
    const std::int32_t q = clamp(ch.x1 + (ch.x1 >> 2) - ch.x2 + (ch.x2 >> 2) + (ch.x3 >> 1), -8192, 8191);
    const std::int32_t d = clamp(kD56[c] * (1 << ch.s), -8192, 8191);
    const std::int32_t expected = clamp(q + d, -8192, 8191) * 4;
    Channel folded = ch;
    ASSERT_EQ(step4Prediction(folded, c), expected) << ch.x1 << " " << ch.x2 << " " << ch.x3 << " " << ch.s << " " << c;
  }
}

}  // namespace
}  // namespace recdesk::audio::codec
