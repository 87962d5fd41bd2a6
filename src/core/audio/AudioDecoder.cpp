#include "audio/AudioDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "audio/PageCodec.h"
#include "lang/Strings.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "ports/UserInterface.h"

namespace recdesk::audio {
namespace {

using codec::Channel;

// Writes one 16-bit output sample (the low 16 bits of the value), little-endian.
inline void put16(std::uint8_t*& out, std::int32_t value) {
  auto u = static_cast<std::uint16_t>(value);
  if constexpr (std::endian::native == std::endian::big) u = static_cast<std::uint16_t>((u >> 8) | (u << 8));
  std::memcpy(out, &u, 2);
  out += 2;
}

inline std::int16_t signed16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// Descrambles the payload into `plain` and tells whether the check byte is right. The key starts
// as the XOR of trailer bytes 512..524 and runs on with every scrambled byte.
bool descramble(const std::uint8_t* page, std::uint8_t* plain) {
  const std::uint8_t key0 = pageKey(page);
  std::uint8_t key = key0;
  // Eight bytes per round: one load and one store of eight bytes each.
  static_assert(kPayloadSize % 8 == 0);
  for (std::size_t i = 0; i < kPayloadSize; i += 8) {
    std::uint8_t bytes[8];
    std::memcpy(bytes, page + i, 8);
    for (auto& b : bytes) {
      const std::uint8_t c = b;
      b = static_cast<std::uint8_t>(c ^ key);
      key = static_cast<std::uint8_t>(key + c);
    }
    std::memcpy(plain + i, bytes, 8);
  }
  for (std::size_t i = kOffFileNumber; i < kOffCheck; ++i) key = static_cast<std::uint8_t>(key + page[i]);
  return key == page[kOffCheck];
}

// 8 encoded bits with 16-bit output (encoding 3 family and encoding 6).
template <bool kEncoding6>
std::uint16_t decode8(const std::uint8_t* p, int channels, std::uint8_t* out) {
  std::uint8_t* o = out;
  Channel a, b;
  if (channels == 1) {
    put16(o, codec::start8(a, signed16(p), kEncoding6));
    for (std::size_t i = 2; i < kPayloadSize; ++i)
      put16(o, kEncoding6 ? codec::step8Prediction(a, p[i]) : codec::step8Difference(a, p[i]));
  } else {
    put16(o, codec::start8(a, signed16(p), kEncoding6));
    put16(o, codec::start8(b, signed16(p + 2), kEncoding6));
    for (std::size_t i = 4; i < kPayloadSize; i += 2) {
      put16(o, kEncoding6 ? codec::step8Prediction(a, p[i]) : codec::step8Difference(a, p[i]));
      put16(o, kEncoding6 ? codec::step8Prediction(b, p[i + 1]) : codec::step8Difference(b, p[i + 1]));
    }
  }
  return static_cast<std::uint16_t>(o - out);
}

// 4 encoded bits, encoding 5: 8-bit output.
std::uint16_t decode4Prediction8(const std::uint8_t* p, int channels, std::uint8_t* out) {
  std::uint8_t* o = out;
  Channel a, b;
  if (channels == 1) {
    *o++ = static_cast<std::uint8_t>(codec::start4Prediction8(a, p[0]));
    for (std::size_t i = 1; i < kPayloadSize; ++i) {
      *o++ = static_cast<std::uint8_t>(codec::step4Prediction8(a, p[i] & 0x0Fu));
      *o++ = static_cast<std::uint8_t>(codec::step4Prediction8(a, p[i] >> 4));
    }
  } else {
    *o++ = static_cast<std::uint8_t>(codec::start4Prediction8(a, p[0]));
    *o++ = static_cast<std::uint8_t>(codec::start4Prediction8(b, p[1]));
    for (std::size_t i = 2; i < kPayloadSize; ++i) {
      *o++ = static_cast<std::uint8_t>(codec::step4Prediction8(a, p[i] & 0x0Fu));
      *o++ = static_cast<std::uint8_t>(codec::step4Prediction8(b, p[i] >> 4));
    }
  }
  return static_cast<std::uint16_t>(o - out);
}

// 4 encoded bits with 16-bit output: Start forms the initial value, Step decodes one code.
template <std::int32_t (*Start)(Channel&, std::int16_t, bool), std::int32_t (*Step)(Channel&, unsigned),
          std::int32_t (*StepStereo)(Channel&, unsigned)>
std::uint16_t decode4(const std::uint8_t* p, int channels, std::uint8_t* out) {
  std::uint8_t* o = out;
  Channel a, b;
  if (channels == 1) {
    put16(o, Start(a, signed16(p), false));
    for (std::size_t i = 2; i < kPayloadSize; ++i) {
      put16(o, Step(a, p[i] & 0x0Fu));
      put16(o, Step(a, p[i] >> 4));
    }
  } else {
    put16(o, Start(a, signed16(p), true));
    put16(o, Start(b, signed16(p + 2), true));
    for (std::size_t i = 4; i < kPayloadSize; ++i) {
      put16(o, StepStereo(a, p[i] & 0x0Fu));
      put16(o, StepStereo(b, p[i] >> 4));
    }
  }
  return static_cast<std::uint16_t>(o - out);
}

#if defined(__SSE2__)
// The 4-bit mono kernels of encodings 3 and 4 with the channel's value in a 16-bit SIMD lane: a
// saturating add and a min/max clamp keep the per-sample dependency chain at three instructions.
// Saturation is exact here: any sum it limits lies beyond the clamp bounds anyway.
struct DeltaTable3 {
  alignas(16) std::int32_t d[16];
  constexpr DeltaTable3() : d{} {
    for (int c = 0; c < 16; ++c) d[c] = codec::kD3[c] - 4097;
  }
};
constexpr DeltaTable3 kDelta3{};

inline __m128i clampedAdd(__m128i x, std::int32_t delta, __m128i lo, __m128i hi) {
  return _mm_max_epi16(_mm_min_epi16(_mm_adds_epi16(x, _mm_cvtsi32_si128(delta)), hi), lo);
}
// The low 16 bits of the lane's value times 2^k.
template <int kShift>
inline std::int32_t laneOut(__m128i x) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(x)) << kShift);
}

std::uint16_t decode4DifferenceMono(const std::uint8_t* p, std::uint8_t* out) {
  std::uint8_t* o = out;
  Channel a;
  put16(o, codec::start4Difference(a, signed16(p)));
  const __m128i lo = _mm_set1_epi16(-16384), hi = _mm_set1_epi16(16383);
  __m128i x = _mm_cvtsi32_si128(a.x1 & 0xFFFF);
  for (std::size_t i = 2; i < kPayloadSize; ++i) {
    x = clampedAdd(x, kDelta3.d[p[i] & 0x0Fu], lo, hi);
    put16(o, laneOut<1>(x));
    x = clampedAdd(x, kDelta3.d[p[i] >> 4], lo, hi);
    put16(o, laneOut<1>(x));
  }
  return static_cast<std::uint16_t>(o - out);
}

std::uint16_t decode4AdaptiveMono(const std::uint8_t* p, std::uint8_t* out) {
  std::uint8_t* o = out;
  Channel a;
  put16(o, codec::start4Adaptive(a, signed16(p), false));
  const __m128i lo = _mm_set1_epi16(-16384), hi = _mm_set1_epi16(16383);
  __m128i x = _mm_cvtsi32_si128(a.x1 & 0xFFFF);
  std::int32_t s = 0;
  // The step runs on by itself; the value only needs the delta it gives, limited to 16 bits.
  const auto step = [&](unsigned c) {
    const std::int32_t delta = codec::clamp(codec::shl(codec::kD4[c] - 257, s), -32768, 32767);
    s = codec::clamp(s + codec::kA4[c], 0, 14);
    x = clampedAdd(x, delta, lo, hi);
    put16(o, laneOut<1>(x));
  };
  for (std::size_t i = 2; i < kPayloadSize; ++i) {
    step(p[i] & 0x0Fu);
    step(p[i] >> 4);
  }
  return static_cast<std::uint16_t>(o - out);
}
#endif

std::int32_t startDifference(Channel& ch, std::int16_t v, bool) { return codec::start4Difference(ch, v); }
std::int32_t startPrediction(Channel& ch, std::int16_t v, bool) { return codec::start4Prediction(ch, v); }
std::int32_t startAdaptive(Channel& ch, std::int16_t v, bool stereo) { return codec::start4Adaptive(ch, v, stereo); }

}  // namespace

std::uint16_t decodePagePayload(const std::uint8_t* page, PageKind kind, int channels, std::uint8_t* output,
                                bool& checkOk) {
  alignas(16) std::uint8_t plain[kPayloadSize];
  checkOk = descramble(page, plain);
  channels = channels == 2 ? 2 : 1;
  switch (kind) {
    case PageKind::Pcm16:
    case PageKind::Raw8:
      // Little-endian 16-bit PCM and unsigned 8-bit PCM are output as they are.
      std::memcpy(output, plain, kPayloadSize);
      if constexpr (std::endian::native == std::endian::big) {
        if (kind == PageKind::Pcm16)
          for (std::size_t i = 0; i < kPayloadSize; i += 2) std::swap(output[i], output[i + 1]);
      }
      return static_cast<std::uint16_t>(kPayloadSize);
    case PageKind::Difference8: return decode8<false>(plain, channels, output);
    case PageKind::Prediction8: return decode8<true>(plain, channels, output);
    case PageKind::Prediction8Out4: return decode4Prediction8(plain, channels, output);
    case PageKind::Difference4:
#if defined(__SSE2__)
      if (channels == 1) return decode4DifferenceMono(plain, output);
#endif
      return decode4<startDifference, codec::step4Difference, codec::step4Difference>(plain, channels, output);
    case PageKind::Adaptive4:
#if defined(__SSE2__)
      if (channels == 1) return decode4AdaptiveMono(plain, output);
#endif
      return decode4<startAdaptive, codec::step4Adaptive<false>, codec::step4Adaptive<true>>(plain, channels,
                                                                                             output);
    case PageKind::Prediction4:
      return decode4<startPrediction, codec::step4Prediction, codec::step4Prediction>(plain, channels, output);
    case PageKind::Unsupported: break;
  }
  return 0;
}

void AudioDecoder::setPage(const std::uint8_t* page) { std::memcpy(page_.data(), page, kPageSize); }

void AudioDecoder::ParseHeader(bool offsetCounting) {
  const std::uint8_t* p = page_.data();
  const std::uint8_t format = p[kOffFormat];
  const std::uint8_t encodingByte = p[kOffEncoding];
  const unsigned bitsIndex = (format >> 2) & 0x07u;

  encoding_ = encodingByte & 0x1F;
  family_ = encodingByte >> 5;
  sampleRate_ = kRateByIndex[format & 0x03u];
  channels_ = kChannelsByIndex[(format >> 5) & 0x01u];
  problem_ = FormatProblem::None;
  encodedBits_ = bitsIndex < 4 ? kBitsByIndex[bitsIndex] : 8;

  // Families 3..7 form no name: the previous name stays.
  if (std::string name = deviceNameFor(family_, readU16(p + kOffSerial)); !name.empty()) deviceName_ = name;

  if (encoding_ == kEncodingContainer) {
    sampleRate_ = 8000;
    encodedBits_ = 8;
    outputBits_ = 8;
    channels_ = 1;
    container_ = true;
    kind_ = PageKind::Raw8;
  } else {
    container_ = false;
    if (bitsIndex >= 4) {
      problem_ = FormatProblem::UndefinedBits;
      kind_ = PageKind::Unsupported;
    } else if (encodedBits_ == 16) {
      kind_ = PageKind::Pcm16;
    } else if (encodedBits_ == 8) {
      kind_ = encoding_ == kEncodingPrediction8 ? PageKind::Raw8
              : encoding_ == kEncodingPrediction ? PageKind::Prediction8
                                                 : PageKind::Difference8;
    } else {
      switch (encoding_) {
        case kEncodingDifference: kind_ = PageKind::Difference4; break;
        case kEncodingAdaptive: kind_ = PageKind::Adaptive4; break;
        case kEncodingPrediction8: kind_ = PageKind::Prediction8Out4; break;
        case kEncodingPrediction: kind_ = PageKind::Prediction4; break;
        default:
          kind_ = PageKind::Unsupported;
          problem_ = FormatProblem::UndefinedEncoding4;
          break;
      }
    }
    // Encoding 5 gives 8-bit samples, except at 16 encoded bits where the payload is 16-bit PCM
    // like every other encoding's (an 8-bit WAV header over 16-bit data would be noise).
    outputBits_ = (encoding_ == kEncodingPrediction8 && encodedBits_ != 16) ? 8 : 16;
  }

  expectedFileNumber_ = readU16(p + kOffFileNumber);
  expectedSerial_ = readU16(p + kOffSerial);
  expectedStartTime_ = readU32(p + kOffStartTime);
  const std::int64_t pageNumber = readS32(p + kOffPageNumber);
  pageCount_ = pageNumber + 1;
  offsetCounting_ = offsetCounting;
  if (offsetCounting) {
    firstPageNumber_ = pageNumber;
    expectedPageNumber_ = pageNumber + 1;
  } else {
    firstPageNumber_ = 0;
    expectedPageNumber_ = 0;
  }
}

PageResult AudioDecoder::DecodePage(std::uint8_t* output) {
  const std::uint8_t* p = page_.data();
  PageResult r;
  if (readU32(p + kOffStartTime) != expectedStartTime_) r.flags |= kFlagStartTime;
  if (readU16(p + kOffFileNumber) != expectedFileNumber_) r.flags |= kFlagFileNumber;
  if (readU16(p + kOffSerial) != expectedSerial_) r.flags |= kFlagSerial;
  if (readS32(p + kOffPageNumber) != expectedPageNumber_) r.flags |= kFlagPageNumber;
  bool checkOk = false;
  r.bytes = decodePagePayload(p, kind_, channels_, output, checkOk);
  if (!checkOk) r.flags |= kFlagCheck;
  return r;
}

FormatVersion AudioDecoder::checkFormatVersion(int family, int encoding) {
  switch (family) {
    case kFamilyR5:
      if (encoding >= 3 && encoding <= 6) return FormatVersion::Accepted;
      if (encoding == kEncodingContainer) return FormatVersion::Accepted;
      return encoding <= 2 ? FormatVersion::RejectedOld : FormatVersion::RejectedNew;
    case kFamilyR6:
      if (encoding == kEncodingPrediction8 || encoding == kEncodingContainer) return FormatVersion::Accepted;
      return encoding <= 4 ? FormatVersion::RejectedOld : FormatVersion::RejectedNew;
    case kFamilyT7:
      if (encoding == kEncodingPrediction8) return FormatVersion::Accepted;
      return encoding <= 4 ? FormatVersion::RejectedOld : FormatVersion::RejectedNew;
    default: return FormatVersion::RejectedSilent;
  }
}

bool AudioDecoder::CheckFormatVersion(ports::UserInterface* ui) const {
  const std::uint8_t e = page_[kOffEncoding];
  const FormatVersion v = checkFormatVersion(e >> 5, e & 0x1F);
  if (v == FormatVersion::Accepted) return true;
  if (ui != nullptr && v != FormatVersion::RejectedSilent) {
    ui->message(lang::text(v == FormatVersion::RejectedOld ? TextId::OlderFormat : TextId::NewerFormat),
                lang::text(TextId::AppName), ports::Icon::Warning, ports::Buttons::Ok);
  }
  return false;
}

std::size_t AudioDecoder::ScanPeaks(const std::uint8_t* samples, std::size_t bytes, int channels, Peaks& peaks) {
  peaks = Peaks{};
  const std::size_t count = bytes / 2;
  const bool stereo = channels == 2;
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t v = signed16(samples + 2 * i);
    const std::size_t ch = stereo ? (i & 1u) : 0;
    if (v < peaks.min[ch]) peaks.min[ch] = v;
    if (v > peaks.max[ch]) peaks.max[ch] = v;
  }
  return count;
}

std::string AudioDecoder::describeFormat() const {
  const std::uint8_t format = page_[kOffFormat];
  const unsigned bitsIndex = (format >> 2) & 0x07u;
  std::string bits = bitsIndex < 4 ? std::to_string(kBitsByIndex[bitsIndex]) + " bits"
                                   : "undefined bits index " + std::to_string(bitsIndex);
  return "encoding " + std::to_string(encoding_) + " at " + bits + ", " + std::to_string(channels_) +
         (channels_ == 1 ? " channel, " : " channels, ") + std::to_string(sampleRate_) + " Hz";
}

std::int64_t AudioDecoder::durationMs(std::int64_t pages) const {
  const double perPage = static_cast<double>(samplesPerPage());
  return static_cast<std::int64_t>(static_cast<double>(pages) * perPage / (sampleRate_ * 0.001));
}

std::int64_t AudioDecoder::pageIndexForMs(std::int64_t ms) const {
  const std::int64_t c = samplesPerPage();
  // Times beyond any recording (negative, or past 2^31 pages) are held to that range.
  const double limit = 2147483648.0 * static_cast<double>(c);
  const auto samples =
      static_cast<std::int64_t>(std::clamp(sampleRate_ * static_cast<double>(ms) * 0.001, -limit, limit));
  return (c / 2 + samples) / c;
}

std::int64_t AudioDecoder::positionMs() const {
  const std::int64_t number = bufferPageNumber();
  const std::int64_t n = offsetCounting_ ? number - firstPageNumber_ + 1 : number + 1;
  return durationMs(n) - queuedTimeMs_;
}

DateTime AudioDecoder::currentTime() const {
  const double ms = static_cast<double>(positionMs());
  return addSeconds(startTime(), static_cast<std::int64_t>(std::llround(ms / 1000.0)));
}

}  // namespace recdesk::audio
