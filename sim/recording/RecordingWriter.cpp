#include "recording/RecordingWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "audio/PageCodec.h"

namespace recdesk::sim {

using audio::PageKind;
using audio::codec::Channel;

std::uint8_t formatByte(std::uint32_t sampleRate, int bits, int channels) {
  const auto rate = std::find(audio::kRateByIndex.begin(), audio::kRateByIndex.end(), sampleRate);
  if (rate == audio::kRateByIndex.end()) throw std::invalid_argument("sample rate not in the format");
  unsigned bitsIndex = 0;
  switch (bits) {
    case 4: bitsIndex = 0; break;
    case 8: bitsIndex = 1; break;
    case 16: bitsIndex = 2; break;
    default: throw std::invalid_argument("encoded bits must be 4, 8 or 16");
  }
  if (channels != 1 && channels != 2) throw std::invalid_argument("channels must be 1 or 2");
  const auto rateIndex = static_cast<unsigned>(rate - audio::kRateByIndex.begin());
  return static_cast<std::uint8_t>(rateIndex | (bitsIndex << 2) | (channels == 2 ? 0x20u : 0u));
}

std::uint8_t encodingByte(int encoding, int family) {
  if (encoding < 0 || encoding > 31) throw std::invalid_argument("encoding must be 0..31");
  if (family < 0 || family > 7) throw std::invalid_argument("family must be 0..7");
  return static_cast<std::uint8_t>(encoding | (family << 5));
}

PageTrailer trailerFor(const RecordingFormat& format, std::int32_t pageNumber) {
  PageTrailer t;
  t.fileNumber = format.fileNumber;
  t.serial = format.serial;
  t.startTime = audio::packStartTime(format.start);
  t.pageNumber = pageNumber;
  t.format = formatByte(format.sampleRate, format.bits, format.channels);
  t.encoding = encodingByte(format.encoding, format.family);
  t.reserved = format.reserved;
  return t;
}

void buildPage(const std::uint8_t* plain, const PageTrailer& t, std::uint8_t* page) {
  audio::writeU16(page + audio::kOffFileNumber, t.fileNumber);
  audio::writeU16(page + audio::kOffSerial, t.serial);
  audio::writeU32(page + audio::kOffStartTime, t.startTime);
  audio::writeU32(page + audio::kOffPageNumber, static_cast<std::uint32_t>(t.pageNumber));
  page[audio::kOffFormat] = t.format;
  page[audio::kOffEncoding] = t.encoding;
  page[audio::kOffReserved] = t.reserved;
  std::uint8_t key = audio::pageKey(page);
  for (std::size_t i = 0; i < audio::kPayloadSize; ++i) {
    const auto c = static_cast<std::uint8_t>(plain[i] ^ key);
    page[i] = c;
    key = static_cast<std::uint8_t>(key + c);
  }
  sealPage(page);
}

void sealPage(std::uint8_t* page) { page[audio::kOffCheck] = audio::pageCheckByte(page); }

// ---- generators ------------------------------------------------------------------------------------

namespace {

std::int16_t toSample(double v) {
  return static_cast<std::int16_t>(std::clamp(std::lround(v * 32767.0), -32768L, 32767L));
}

class Tone final : public PcmGenerator {
 public:
  Tone(double f, double a, std::uint32_t rate) : step_(2.0 * std::numbers::pi * f / rate), amplitude_(a) {}
  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    for (std::size_t i = 0; i < frames; ++i, ++n_) {
      const double phase = step_ * static_cast<double>(n_);
      for (int c = 0; c < channels; ++c)
        *out++ = toSample(amplitude_ * std::sin(phase + c * std::numbers::pi / 2));
    }
  }

 private:
  double step_, amplitude_;
  std::uint64_t n_ = 0;
};

class XorShift {
 public:
  explicit XorShift(std::uint32_t seed) : s_(seed ? seed : 1) {}
  // Uniform in [-1, 1].
  double next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return static_cast<double>(s_) / 2147483647.5 - 1.0;
  }

 private:
  std::uint32_t s_;
};

class Noise final : public PcmGenerator {
 public:
  Noise(double a, std::uint32_t seed) : amplitude_(a), rng_(seed) {}
  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(channels); ++i)
      out[i] = toSample(amplitude_ * rng_.next());
  }

 private:
  double amplitude_;
  XorShift rng_;
};

class Silence final : public PcmGenerator {
 public:
  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    std::fill(out, out + frames * static_cast<std::size_t>(channels), std::int16_t{0});
  }
};

class Melody final : public PcmGenerator {
 public:
  Melody(std::uint32_t rate, double a, double noteSeconds, std::uint32_t seed)
      : rate_(rate), amplitude_(a), noteFrames_(std::max<std::uint64_t>(1, static_cast<std::uint64_t>(noteSeconds * rate))),
        rng_(seed) {}
  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    // A pentatonic line that wanders up and down.
    static constexpr double kScale[] = {261.63, 293.66, 329.63, 392.00, 440.00, 523.25, 587.33, 659.25};
    static constexpr int kLine[] = {0, 2, 4, 5, 4, 2, 3, 1, 0, 4, 7, 6, 5, 3, 2, 0};
    for (std::size_t i = 0; i < frames; ++i, ++n_) {
      const std::uint64_t note = n_ / noteFrames_;
      const std::uint64_t inNote = n_ % noteFrames_;
      const double f = kScale[kLine[note % std::size(kLine)]] * (note / std::size(kLine) % 2 ? 0.5 : 1.0);
      const double t = static_cast<double>(inNote) / rate_;
      const double x = static_cast<double>(inNote) / static_cast<double>(noteFrames_);
      const double envelope = std::min(1.0, x * 20.0) * std::min(1.0, (1.0 - x) * 5.0);
      const double tone = std::sin(2.0 * std::numbers::pi * f * t) + 0.3 * std::sin(4.0 * std::numbers::pi * f * t);
      const double v = amplitude_ * envelope * tone / 1.3;
      for (int c = 0; c < channels; ++c) *out++ = toSample(v * (c == 0 ? 1.0 : 0.7) + 0.01 * rng_.next());
    }
  }

 private:
  std::uint32_t rate_;
  double amplitude_;
  std::uint64_t noteFrames_;
  XorShift rng_;
  std::uint64_t n_ = 0;
};

}  // namespace

std::unique_ptr<PcmGenerator> makeTone(double f, double a, std::uint32_t rate) { return std::make_unique<Tone>(f, a, rate); }
std::unique_ptr<PcmGenerator> makeNoise(double a, std::uint32_t seed) { return std::make_unique<Noise>(a, seed); }
std::unique_ptr<PcmGenerator> makeSilence() { return std::make_unique<Silence>(); }
std::unique_ptr<PcmGenerator> makeMelody(std::uint32_t rate, double a, double noteSeconds, std::uint32_t seed) {
  return std::make_unique<Melody>(rate, a, noteSeconds, seed);
}

// ---- encoder ---------------------------------------------------------------------------------------

std::int32_t toOutputDomain(PageKind kind, std::int16_t v) {
  if (kind == PageKind::Raw8 || kind == PageKind::Prediction8Out4) return std::clamp((v >> 8) + 128, 0, 255);
  return v;
}

namespace {

PageKind kindOf(const RecordingFormat& f) {
  std::array<std::uint8_t, kPageSize> page{};
  page[audio::kOffFormat] = formatByte(f.sampleRate, f.bits, f.channels);
  page[audio::kOffEncoding] = encodingByte(f.encoding, f.family);
  audio::AudioDecoder d;
  d.setPage(page.data());
  d.ParseHeader(false);
  if (!d.formatSupported()) throw std::invalid_argument("the decoder refuses this format: " + d.describeFormat());
  return d.pageKind();
}

std::size_t framesOf(PageKind kind, int channels) {
  const bool mono = channels == 1;
  switch (kind) {
    case PageKind::Pcm16: return mono ? 256 : 128;
    case PageKind::Raw8: return mono ? 512 : 256;
    case PageKind::Difference8:
    case PageKind::Prediction8: return mono ? 511 : 255;
    case PageKind::Prediction8Out4: return mono ? 1023 : 511;
    case PageKind::Difference4:
    case PageKind::Adaptive4:
    case PageKind::Prediction4: return mono ? 1021 : 509;
    case PageKind::Unsupported: break;
  }
  return 0;
}

std::int16_t initialValue(std::int32_t target, int scale) {
  const long v = std::lround(static_cast<double>(target) / scale);
  return static_cast<std::int16_t>(std::clamp(v, scale == 4 ? -8192L : -16384L, scale == 4 ? 8191L : 16383L));
}

void putInitial(std::uint8_t* plain, std::int16_t v) { audio::writeU16(plain, static_cast<std::uint16_t>(v)); }

// The code (0 .. codes - 1) whose step brings the channel's output closest to the target; the
// channel's state moves on with that code.
template <class Step>
unsigned chooseCode(Channel& ch, std::int32_t target, unsigned codes, Step step) {
  unsigned best = 0;
  std::int64_t bestError = std::numeric_limits<std::int64_t>::max();
  Channel bestState = ch;
  for (unsigned c = 0; c < codes; ++c) {
    Channel trial = ch;
    const std::int64_t error = std::llabs(static_cast<std::int64_t>(step(trial, c)) - target);
    if (error < bestError) {
      bestError = error;
      best = c;
      bestState = trial;
    }
  }
  ch = bestState;
  return best;
}

// Chooses the codes of one channel by a beam search over its targets: after each sample the `width`
// paths with the least squared error so far (and distinct decoder states) survive. Width 1 is the
// plain closest-code choice. The 4-bit adaptive encodings gain several dB from looking ahead,
// because a code also moves the step size.
template <class Step>
void searchCodes(const Channel& start, const std::int32_t* targets, std::size_t n, unsigned codes, unsigned width,
                 Step step, std::uint8_t* out) {
  struct Node {
    Channel state;
    std::int64_t cost;
    std::uint16_t parent;
    std::uint8_t code;
  };
  if (n == 0) return;
  if (width <= 1) {
    // The closest code each time.
    Channel state = start;
    for (std::size_t t = 0; t < n; ++t) {
      std::int64_t bestError = std::numeric_limits<std::int64_t>::max();
      Channel bestState = state;
      for (unsigned c = 0; c < codes; ++c) {
        Channel trial = state;
        const std::int64_t e = std::llabs(static_cast<std::int64_t>(step(trial, c)) - targets[t]);
        if (e < bestError) {
          bestError = e;
          bestState = trial;
          out[t] = static_cast<std::uint8_t>(c);
        }
      }
      state = bestState;
    }
    return;
  }
  std::vector<Node> beam{{start, 0, 0, 0}};
  std::vector<Node> candidates;
  std::vector<std::uint16_t> parents(n * width);
  std::vector<std::uint8_t> chosen(n * width);
  for (std::size_t t = 0; t < n; ++t) {
    candidates.clear();
    for (std::size_t b = 0; b < beam.size(); ++b) {
      for (unsigned c = 0; c < codes; ++c) {
        Node node{beam[b].state, 0, static_cast<std::uint16_t>(b), static_cast<std::uint8_t>(c)};
        const std::int64_t e = static_cast<std::int64_t>(step(node.state, c)) - targets[t];
        node.cost = beam[b].cost + e * e;
        candidates.push_back(node);
      }
    }
    const auto byCost = [](const Node& a, const Node& b) { return a.cost < b.cost; };
    const std::size_t keep = std::min<std::size_t>(candidates.size(), 2u * width);
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep), candidates.end(), byCost);
    candidates.resize(keep);
    beam.clear();
    for (const Node& c : candidates) {
      const bool same = std::any_of(beam.begin(), beam.end(), [&](const Node& k) {
        return k.state.x1 == c.state.x1 && k.state.x2 == c.state.x2 && k.state.x3 == c.state.x3 && k.state.s == c.state.s;
      });
      if (same) continue;
      parents[t * width + beam.size()] = c.parent;
      chosen[t * width + beam.size()] = c.code;
      beam.push_back(c);
      if (beam.size() == width) break;
    }
  }
  std::size_t index = 0;  // the beam is sorted: entry 0 is the best path
  for (std::size_t t = n; t-- > 0;) {
    out[t] = chosen[t * width + index];
    index = parents[t * width + index];
  }
}

// The codes of one channel's samples (every `stride`-th input value from `first`).
template <class Step>
std::vector<std::uint8_t> channelCodes(const Channel& start, const std::int16_t* pcm, std::size_t first,
                                       std::size_t stride, std::size_t n, unsigned codes, unsigned width,
                                       audio::PageKind kind, Step step) {
  std::vector<std::int32_t> targets(n);
  for (std::size_t k = 0; k < n; ++k) targets[k] = toOutputDomain(kind, pcm[first + k * stride]);
  std::vector<std::uint8_t> out(n);
  searchCodes(start, targets.data(), n, codes, width, step, out.data());
  return out;
}

// 4-bit encodings: the channels' first values (Start), then two codes per byte, low nibble first
// (mono) or channel 1 low and channel 2 high (stereo).
template <class Start, class Step>
void encode4(const std::int16_t* pcm, int channels, std::uint8_t* plain, std::size_t headerBytes, unsigned width,
             audio::PageKind kind, Start start, Step step) {
  const auto chs = static_cast<std::size_t>(channels);
  const std::size_t codeBytes = audio::kPayloadSize - headerBytes;
  Channel ch[2];
  for (std::size_t c = 0; c < chs; ++c) start(ch[c], pcm[c], plain + c * (headerBytes / chs));
  if (chs == 1) {
    const auto codes = channelCodes(ch[0], pcm, 1, 1, 2 * codeBytes, 16, width, kind, step);
    for (std::size_t i = 0; i < codeBytes; ++i)
      plain[headerBytes + i] = static_cast<std::uint8_t>(codes[2 * i] | (codes[2 * i + 1] << 4));
  } else {
    const auto lo = channelCodes(ch[0], pcm, 2, 2, codeBytes, 16, width, kind, step);
    const auto hi = channelCodes(ch[1], pcm, 3, 2, codeBytes, 16, width, kind, step);
    for (std::size_t i = 0; i < codeBytes; ++i)
      plain[headerBytes + i] = static_cast<std::uint8_t>(lo[i] | (hi[i] << 4));
  }
}

// First values of the 16-bit-output 4-bit encodings: a little-endian value scaled to the output.
template <class Init>
auto start16(int scale, Init init) {
  return [scale, init](Channel& c, std::int16_t target, std::uint8_t* bytes) {
    const std::int16_t v = initialValue(target, scale);
    putInitial(bytes, v);
    init(c, v);
  };
}

}  // namespace

PageEncoder::PageEncoder(const RecordingFormat& format)
    : kind_(kindOf(format)), channels_(format.encoding == audio::kEncodingContainer ? 1 : format.channels),
      framesPerPage_(framesOf(kind_, channels_)),
      width_(format.searchWidth != 0 ? std::min(format.searchWidth, 64u)
             : (kind_ == PageKind::Adaptive4 || kind_ == PageKind::Prediction4 || kind_ == PageKind::Prediction8Out4)
                 ? 4u
                 : 1u) {}

void PageEncoder::encode(const std::int16_t* pcm, std::uint8_t* plain) const {
  namespace codec = audio::codec;
  const auto chs = static_cast<std::size_t>(channels_);
  switch (kind_) {
    case PageKind::Pcm16:
      for (std::size_t i = 0; i < audio::kPayloadSize / 2; ++i)
        audio::writeU16(plain + 2 * i, static_cast<std::uint16_t>(pcm[i]));
      return;
    case PageKind::Raw8:
      for (std::size_t i = 0; i < audio::kPayloadSize; ++i)
        plain[i] = static_cast<std::uint8_t>(toOutputDomain(kind_, pcm[i]));
      return;
    case PageKind::Difference8:
    case PageKind::Prediction8: {
      const bool e6 = kind_ == PageKind::Prediction8;
      Channel ch[2];
      std::size_t n = 0;
      for (std::size_t c = 0; c < chs; ++c) {
        const std::int16_t v = initialValue(pcm[n++], e6 ? 4 : 2);
        putInitial(plain + 2 * c, v);
        codec::start8(ch[c], v, e6);
      }
      for (std::size_t i = 2 * static_cast<std::size_t>(chs); i < audio::kPayloadSize; ++i) {
        Channel& c = ch[chs == 1 ? 0 : (i & 1u)];
        const auto step = [e6](Channel& s, unsigned p) {
          return e6 ? codec::step8Prediction(s, static_cast<std::uint8_t>(p))
                    : codec::step8Difference(s, static_cast<std::uint8_t>(p));
        };
        plain[i] = static_cast<std::uint8_t>(chooseCode(c, pcm[n++], 256, step));
      }
      return;
    }
    case PageKind::Prediction8Out4:
      encode4(pcm, chs, plain, static_cast<std::size_t>(chs), width_, kind_,
              [this](Channel& c, std::int16_t target, std::uint8_t* bytes) {
                *bytes = static_cast<std::uint8_t>(toOutputDomain(kind_, target));
                codec::start4Prediction8(c, *bytes);
              },
              codec::step4Prediction8);
      return;
    case PageKind::Difference4:
      encode4(pcm, chs, plain, 2u * chs, width_, kind_,
              start16(2, [](Channel& c, std::int16_t v) { codec::start4Difference(c, v); }), codec::step4Difference);
      return;
    case PageKind::Adaptive4:
      if (chs == 1)
        encode4(pcm, 1, plain, 2, width_, kind_,
                start16(2, [](Channel& c, std::int16_t v) { codec::start4Adaptive(c, v, false); }),
                codec::step4Adaptive<false>);
      else
        encode4(pcm, 2, plain, 4, width_, kind_,
                start16(4, [](Channel& c, std::int16_t v) { codec::start4Adaptive(c, v, true); }),
                codec::step4Adaptive<true>);
      return;
    case PageKind::Prediction4:
      encode4(pcm, chs, plain, 2u * chs, width_, kind_,
              start16(4, [](Channel& c, std::int16_t v) { codec::start4Prediction(c, v); }), codec::step4Prediction);
      return;
    case PageKind::Unsupported: break;
  }
  std::memset(plain, 0, audio::kPayloadSize);
}

// ---- recordings ------------------------------------------------------------------------------------

std::vector<std::uint8_t> Recording::im2() const {
  std::vector<std::uint8_t> out;
  if (pages.empty()) return out;
  out.reserve(pages.size() + kPageSize);
  out.insert(out.end(), pages.end() - static_cast<std::ptrdiff_t>(kPageSize), pages.end());
  out.insert(out.end(), pages.begin(), pages.end());
  return out;
}

void Recording::writeIm2(const std::filesystem::path& file) const {
  const auto bytes = im2();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::size_t pagesForSeconds(const RecordingFormat& format, double seconds) {
  const PageEncoder encoder(format);
  const double frames = seconds * (format.encoding == audio::kEncodingContainer ? 8000 : format.sampleRate);
  return std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(frames / static_cast<double>(encoder.framesPerPage()))));
}

namespace {

// Encodes pages one after the other from a generator.
class PageStream {
 public:
  PageStream(const RecordingFormat& format, PcmGenerator& source)
      : format_(format), encoder_(format), source_(source),
        pcm_(encoder_.framesPerPage() * static_cast<std::size_t>(encoder_.channels())) {}
  void next(std::int32_t pageNumber, std::uint8_t* page) {
    source_.generate(pcm_.data(), encoder_.framesPerPage(), encoder_.channels());
    std::array<std::uint8_t, audio::kPayloadSize> plain{};
    encoder_.encode(pcm_.data(), plain.data());
    buildPage(plain.data(), trailerFor(format_, pageNumber), page);
  }

 private:
  RecordingFormat format_;
  PageEncoder encoder_;
  PcmGenerator& source_;
  std::vector<std::int16_t> pcm_;
};

}  // namespace

Recording makeRecording(const RecordingFormat& format, PcmGenerator& source, std::size_t pageCount,
                        std::int32_t firstPageNumber) {
  Recording r;
  r.format = format;
  r.pages.resize(pageCount * kPageSize);
  PageStream stream(format, source);
  for (std::size_t i = 0; i < pageCount; ++i)
    stream.next(firstPageNumber + static_cast<std::int32_t>(i), r.page(i));
  return r;
}

std::size_t writeIm2File(const std::filesystem::path& file, const RecordingFormat& format, PcmGenerator& source,
                         std::size_t pageCount) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out || pageCount == 0) {
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return 0;
  }
  // The header page is the last page; its payload is never decoded from there, but it is the real
  // last page, so encode everything first into the file and copy the last page to the front.
  std::array<std::uint8_t, kPageSize> page{};
  out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
  PageStream stream(format, source);
  constexpr std::size_t kBatch = 256;
  std::vector<std::uint8_t> batch(kBatch * kPageSize);
  for (std::size_t done = 0; done < pageCount;) {
    const std::size_t n = std::min(kBatch, pageCount - done);
    for (std::size_t i = 0; i < n; ++i)
      stream.next(static_cast<std::int32_t>(done + i), batch.data() + i * kPageSize);
    out.write(reinterpret_cast<const char*>(batch.data()), static_cast<std::streamsize>(n * kPageSize));
    done += n;
    if (done == pageCount) std::memcpy(page.data(), batch.data() + (n - 1) * kPageSize, kPageSize);
  }
  out.seekp(0);
  out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return pageCount;
}

Recording makeContainerRecording(const RecordingFormat& outer, const RecordingFormat& inner, PcmGenerator& source,
                                 std::size_t innerPages) {
  if (innerPages == 0) throw std::invalid_argument("a container stream needs at least one inner page");
  const auto first = static_cast<std::int32_t>(innerPages - 1);
  // The stream: an inner header page announcing the count, then the audio pages.
  Recording stream = makeRecording(inner, source, innerPages, first + 1);
  std::vector<std::uint8_t> bytes(kPageSize);
  {
    Silence silence;
    Recording head = makeRecording(inner, silence, 1, first);
    std::memcpy(bytes.data(), head.page(0), kPageSize);
  }
  bytes.insert(bytes.end(), stream.pages.begin(), stream.pages.end());
  const std::size_t outerPages = (bytes.size() + audio::kPayloadSize - 1) / audio::kPayloadSize;
  bytes.resize(outerPages * audio::kPayloadSize, 0xFF);

  RecordingFormat f = outer;
  f.encoding = audio::kEncodingContainer;
  f.sampleRate = 8000;
  f.bits = 8;
  f.channels = 1;
  Recording r;
  r.format = f;
  r.pages.resize(outerPages * kPageSize);
  for (std::size_t i = 0; i < outerPages; ++i)
    buildPage(bytes.data() + i * audio::kPayloadSize, trailerFor(f, static_cast<std::int32_t>(i)), r.page(i));
  return r;
}

}  // namespace recdesk::sim
