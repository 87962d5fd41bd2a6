#include "audio/WavFilter.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/CFile64.h"
#include "audio/FirFilter.h"
#include "audio/Im2Format.h"
#include "audio/WaveFile.h"
#include "lang/Strings.h"

namespace recdesk::audio {

namespace {

namespace fs = std::filesystem;

constexpr int kDesignTaps = 32;             // made odd by the design: 33 taps
constexpr std::size_t kBlockBytes = 64000;  // input and output blocks of 32000 samples
constexpr std::size_t kPassFrames = 4000;   // frames shaped per pass inside a block (stays in cache)
constexpr std::uint64_t kProgressRange = 1000;
// The output's lengths are 32-bit: its audio must end below 4 GiB.
constexpr std::uint64_t kMaxOutputData = 0xFFFFFFFFull - 44;

// A text of the language library, or the built-in wording when the library lacks the number.
std::string textOr(TextId id, const char* fallback, std::initializer_list<lang::FormatArg> args = {}) {
  if (lang::strings().has(id)) return lang::strings().format(id, args);
  return lang::formatText(fallback, args);
}


// Level control: the DC offset is removed by a running mean per channel, and one envelope shared by
// all channels steers the gain so that the envelope approaches 10000.
struct LevelState {
  explicit LevelState(std::uint32_t rate)
      : decay(std::exp(-3.0 / (rate * 2.0))), grow(std::exp(3.0 / (rate * 0.1))) {}
  double mean[2] = {0.0, 0.0};
  double envelope = 32767.0;
  double decay;  // per sample while the envelope covers the signal (e^(-3 / 2 s))
  double grow;   // per sample while the signal is above the envelope (e^(3 / 0.1 s))
};

// Below one step of a 16-bit sample the envelope says nothing about the signal; keeping it there
// stops long silence from decaying it to 0, from which it could never grow again.
constexpr double kEnvelopeFloor = 1.0;

double clampOut(double v) {
  return std::min(std::max(v, -32768.0), 32767.0);
}
// Clamped to 16 bits, then truncated toward 0.
std::int16_t toSample(double v) {
  return static_cast<std::int16_t>(static_cast<int>(clampOut(v)));
}

#if defined(__SSE2__)
#define RECDESK_FILTER_SSE2 1
#endif

// The working buffers of one pass of up to kPassFrames frames, allocated once per run. Channel c of a
// per-channel buffer starts at c * kPassFrames.
struct PassBuffers {
  PassBuffers()
      : x(2 * kPassFrames),
        y(2 * kPassFrames),
        centred(2 * kPassFrames),
        gain(kPassFrames),
        out(2 * kPassFrames) {}
  std::vector<double> x;          // input samples
  std::vector<double> y;          // filtered samples
  std::vector<double> centred;    // level control: y minus the channel's running mean
  std::vector<double> gain;       // level control: the envelope after each frame, then the gain
  std::vector<std::int16_t> out;  // output samples, interleaved
  double* channel(std::vector<double>& v, int c) {
    return v.data() + static_cast<std::size_t>(c) * kPassFrames;
  }
};

// The level control's running state over `frames` frames: the centred samples and the envelope after
// each frame. This is the one serial part of the work, so it does nothing else; kept out of line so
// that its state stays in registers.
template <int Channels>
[[gnu::noinline]] void trackLevel(const double* const* y, std::size_t frames, LevelState& state,
                                  double* const* centred, double* envelopes) {
  double mean0 = state.mean[0];
  double mean1 = state.mean[1];
  double envelope = state.envelope;
  const double decay = state.decay;
  const double grow = state.grow;
  const double* y0 = y[0];
  const double* y1 = y[Channels - 1];
  double* c0 = centred[0];
  double* c1 = centred[Channels - 1];
  for (std::size_t i = 0; i < frames; ++i) {
    const double v0 = y0[i];
    mean0 = v0 * 0.0001 + mean0 * 0.9999;
    const double d0 = v0 - mean0;
    c0[i] = d0;
    envelope = envelope >= std::fabs(d0) ? std::max(envelope * decay, kEnvelopeFloor) : envelope * grow;
    if constexpr (Channels == 2) {
      const double v1 = y1[i];
      mean1 = v1 * 0.0001 + mean1 * 0.9999;
      const double d1 = v1 - mean1;
      c1[i] = d1;
      envelope = envelope >= std::fabs(d1) ? std::max(envelope * decay, kEnvelopeFloor) : envelope * grow;
    }
    envelopes[i] = envelope;
  }
  state.mean[0] = mean0;
  state.mean[1] = mean1;
  state.envelope = envelope;
}

// g[i] = 10000 / g[i], at most 8 (the envelopes become the gains).
void gainsFromEnvelopes(double* g, std::size_t n) {
  std::size_t i = 0;
#ifdef RECDESK_FILTER_SSE2
  const __m128d level = _mm_set1_pd(10000.0);
  const __m128d cap = _mm_set1_pd(8.0);
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(g + i, _mm_min_pd(_mm_div_pd(level, _mm_loadu_pd(g + i)), cap));
#endif
  for (; i < n; ++i) {
    const double v = 10000.0 / g[i];
    g[i] = v > 8.0 ? 8.0 : v;
  }
}

#ifdef RECDESK_FILTER_SSE2
// Four samples (times their gains when given), clamped and truncated, as four 32-bit integers.
inline __m128i fourSamples(const double* v, const double* gain) {
  const __m128d low = _mm_set1_pd(-32768.0);
  const __m128d high = _mm_set1_pd(32767.0);
  __m128d a = _mm_loadu_pd(v);
  __m128d b = _mm_loadu_pd(v + 2);
  if (gain != nullptr) {
    a = _mm_mul_pd(a, _mm_loadu_pd(gain));
    b = _mm_mul_pd(b, _mm_loadu_pd(gain + 2));
  }
  a = _mm_min_pd(_mm_max_pd(a, low), high);
  b = _mm_min_pd(_mm_max_pd(b, low), high);
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(a), _mm_cvttpd_epi32(b));
}
#endif

// Interleaved 16-bit output samples from the channels' values v[c][i] (times gain[i] when gains are
// given): clamped to 16 bits, truncated toward 0.
template <int Channels>
void toSamples(const double* const* v, const double* gain, std::size_t frames, std::int16_t* out) {
  std::size_t i = 0;
#ifdef RECDESK_FILTER_SSE2
  for (; i + 4 <= frames; i += 4) {
    const double* g = gain != nullptr ? gain + i : nullptr;
    const __m128i left = fourSamples(v[0] + i, g);
    if constexpr (Channels == 1) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(left, left));
    } else {
      const __m128i right = fourSamples(v[1] + i, g);
      const __m128i packed =
          _mm_packs_epi32(_mm_unpacklo_epi32(left, right), _mm_unpackhi_epi32(left, right));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), packed);
    }
  }
#endif
  for (; i < frames; ++i)
    for (int c = 0; c < Channels; ++c)
      out[i * Channels + c] = toSample(gain != nullptr ? v[c][i] * gain[i] : v[c][i]);
}

// Turns `frames` frames of filtered samples into interleaved 16-bit output samples.
template <int Channels>
void shapeFrames(PassBuffers& b, const double* const* y, std::size_t frames, bool level, LevelState& state) {
  if (level) {
    double* centred[2] = {b.channel(b.centred, 0), b.channel(b.centred, 1)};
    trackLevel<Channels>(y, frames, state, centred, b.gain.data());
    gainsFromEnvelopes(b.gain.data(), frames);
    toSamples<Channels>(centred, b.gain.data(), frames, b.out.data());
  } else {
    toSamples<Channels>(y, nullptr, frames, b.out.data());
  }
}

// Reads `frames` frames of 16-bit little-endian samples into the per-channel input buffers.
template <int Channels>
void readFrames(PassBuffers& b, const std::uint8_t* in, std::size_t frames) {
  double* x0 = b.channel(b.x, 0);
  double* x1 = b.channel(b.x, Channels - 1);
  std::size_t i = 0;
#ifdef RECDESK_FILTER_SSE2
  // x86 is little-endian: eight samples at a time, widened to 32 bits and converted.
  for (; i + 8 / Channels <= frames; i += 8 / Channels) {
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * Channels * i));
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16);  // samples 0..3
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(raw, raw), 16);  // samples 4..7
    const __m128d s01 = _mm_cvtepi32_pd(lo);
    const __m128d s23 = _mm_cvtepi32_pd(_mm_shuffle_epi32(lo, 0xEE));
    const __m128d s45 = _mm_cvtepi32_pd(hi);
    const __m128d s67 = _mm_cvtepi32_pd(_mm_shuffle_epi32(hi, 0xEE));
    if constexpr (Channels == 1) {
      _mm_storeu_pd(x0 + i, s01);
      _mm_storeu_pd(x0 + i + 2, s23);
      _mm_storeu_pd(x0 + i + 4, s45);
      _mm_storeu_pd(x0 + i + 6, s67);
    } else {
      // L0 R0 | L1 R1 | L2 R2 | L3 R3
      _mm_storeu_pd(x0 + i, _mm_unpacklo_pd(s01, s23));
      _mm_storeu_pd(x1 + i, _mm_unpackhi_pd(s01, s23));
      _mm_storeu_pd(x0 + i + 2, _mm_unpacklo_pd(s45, s67));
      _mm_storeu_pd(x1 + i + 2, _mm_unpackhi_pd(s45, s67));
    }
  }
#endif
  for (; i < frames; ++i) {
    x0[i] = static_cast<std::int16_t>(readU16(in + 2 * Channels * i));
    if constexpr (Channels == 2) x1[i] = static_cast<std::int16_t>(readU16(in + 4 * i + 2));
  }
}

// Stores `count` output samples as 16-bit little-endian bytes.
void writeSamples(const std::int16_t* samples, std::size_t count, std::uint8_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, samples, count * 2);
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      const auto u = static_cast<std::uint16_t>(samples[i]);
      out[2 * i] = static_cast<std::uint8_t>(u);
      out[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
  }
}

// One pass: input bytes to output bytes through the filters and the level control.
void processPass(PassBuffers& b, int channels, std::array<FirFilter, 2>& filters, bool filtering, bool level,
                 LevelState& state, const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
  if (channels == 1)
    readFrames<1>(b, in, frames);
  else
    readFrames<2>(b, in, frames);
  double* x[2] = {b.channel(b.x, 0), b.channel(b.x, 1)};
  double* y[2] = {b.channel(b.y, 0), b.channel(b.y, 1)};
  if (filtering)
    for (int c = 0; c < channels; ++c) filters[static_cast<std::size_t>(c)].Process(x[c], y[c], frames);
  const double* const* shaped = filtering ? y : x;
  if (channels == 1)
    shapeFrames<1>(b, shaped, frames, level, state);
  else
    shapeFrames<2>(b, shaped, frames, level, state);
  writeSamples(b.out.data(), frames * static_cast<std::size_t>(channels), out);
}

// A name beside `target` for the output while it is written (created exclusively, never an existing file).
std::string temporaryName(const fs::path& target, int attempt) {
  static std::atomic<unsigned> counter{0};
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  // At most 100 bytes of the final name, so that the temporary name stays within the file-name limit.
  const std::string base = target.filename().string().substr(0, 100);
  const std::string name = "." + base + ".filtering-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt);
  return (dir / name).string();
}

// Calls progressDone when the run ends, however it ends.
struct ProgressEnd {
  ports::UserInterface& ui;
  ~ProgressEnd() { ui.progressDone(); }
};

}  // namespace

FilterModeInfo filterModeInfo(int mode) {
  FilterModeInfo info;
  switch (mode) {
    case 0:
      info = {FilterModeInfo::kBandPass, false};
      break;
    case 1:
      info = {FilterModeInfo::kBandPass, true};
      break;
    case 2:
      info = {FilterModeInfo::kHighPass, false};
      break;
    case 3:
      info = {FilterModeInfo::kHighPass, true};
      break;
    case 4:
      info = {FilterModeInfo::kLowPass, false};
      break;
    case 5:
      info = {FilterModeInfo::kLowPass, true};
      break;
    case 6:
      info = {FilterModeInfo::kNone, true};
      break;
    default:
      break;
  }
  return info;
}

void filterModeEdges(int mode, std::uint32_t sampleRate, double& f1, double& f2) {
  const double rate = sampleRate == 0 ? 1.0 : static_cast<double>(sampleRate);
  const double low = 300.0 / rate * 2.0;
  const double high = 3300.0 / rate * 2.0;
  switch (filterModeInfo(mode).kind) {
    case FilterModeInfo::kBandPass:
      f1 = low;
      f2 = high;
      break;
    case FilterModeInfo::kHighPass:
      f1 = low;
      f2 = 1.0;
      break;
    case FilterModeInfo::kLowPass:
      f1 = 0.0;
      f2 = high;
      break;
    case FilterModeInfo::kNone:
      f1 = 0.0;
      f2 = 1.0;
      break;
  }
}

TextId filterModeText(int mode) {
  static constexpr TextId kNames[kFilterModeCount] = {
      TextId::FilterSpeechBand,    TextId::FilterSpeechBandLevel, TextId::FilterHighPass,
      TextId::FilterHighPassLevel, TextId::FilterLowPass,         TextId::FilterLowPassLevel,
      TextId::FilterLevelControl};
  if (mode < 0 || mode >= kFilterModeCount) return TextId::FilterSpeechBand;
  return kNames[mode];
}

std::string filterModeName(int mode) {
  static const char* const kFallback[kFilterModeCount] = {"Speech band 300-3300 Hz",
                                                          "Speech band 300-3300 Hz with level control",
                                                          "High-pass 300 Hz",
                                                          "High-pass 300 Hz with level control",
                                                          "Low-pass 3300 Hz",
                                                          "Low-pass 3300 Hz with level control",
                                                          "Level control"};
  if (mode < 0 || mode >= kFilterModeCount) return {};
  std::string name = textOr(filterModeText(mode), kFallback[mode]);
  // The name becomes part of a file name: it must not lead into another folder.
  for (char& ch : name)
    if (ch == '/' || ch == '\\' || ch == '\0') ch = '-';
  return name;
}

std::string proposedFilterOutput(const std::string& inputPath, int mode) {
  const std::string stem = inputPath.size() >= 4 ? inputPath.substr(0, inputPath.size() - 4) : inputPath;
  return lang::formatText("%s %s.wav", {stem, filterModeName(mode)});
}

bool readWavLayout(CFile64& file, WavLayout& layout) {
  layout = WavLayout{};
  const std::uint64_t length = file.GetLength();
  if (length < 12) return false;
  std::uint8_t riff[12];
  file.SeekToBegin();
  if (file.Read(riff, sizeof riff) != sizeof riff) return false;
  if (!chunkTagIs(riff, "RIFF") || !chunkTagIs(riff + 8, "WAVE")) return false;

  bool haveFormat = false;
  std::uint64_t pos = 12;
  // Every chunk advances by at least 8 bytes, and the walk is bounded besides.
  for (int chunks = 0; chunks < 10000 && pos + 8 <= length; ++chunks) {
    std::uint8_t head[8];
    file.Seek(pos, CFile64::kBegin);
    if (file.Read(head, sizeof head) != sizeof head) return false;
    const std::uint32_t size = readU32(head + 4);
    if (chunkTagIs(head, "fmt ")) {
      if (size < 16) return false;
      std::uint8_t fmt[40] = {};
      const std::size_t want = std::min<std::size_t>(size, sizeof fmt);
      if (file.Read(fmt, want) != want) return false;
      layout.formatTag = readU16(fmt);
      layout.channels = readU16(fmt + 2);
      layout.sampleRate = readU32(fmt + 4);
      layout.bitsPerSample = readU16(fmt + 14);
      // Extensible format: PCM only when its sub-format is PCM.
      if (layout.formatTag == 0xFFFE && (want < 40 || readU16(fmt + 24) != 1)) layout.formatTag = 0;
      haveFormat = true;
    } else if (chunkTagIs(head, "data")) {
      if (!haveFormat || layout.channels == 0 || layout.sampleRate == 0) return false;
      layout.dataOffset = pos + 8;
      layout.declaredLength = size;
      layout.available = length - layout.dataOffset;
      const bool unknown = size == 0 || size == 0xFFFFFFFFu;
      layout.dataLength = (unknown || size > layout.available) ? layout.available : size;
      return true;
    }
    pos += 8 + static_cast<std::uint64_t>(size) + (size & 1u);
  }
  return false;
}

FilterResult filterWav(const std::string& inputPath, const std::string& outputPath, int mode,
                       ports::UserInterface& ui) {
  if (mode < 0 || mode >= kFilterModeCount) return FilterResult::Refused;
  const FilterModeInfo info = filterModeInfo(mode);
  const std::string appName = textOr(TextId::AppName, "RecDesk");
  const std::string caption = textOr(TextId::Filtering, "Filtering");
  ProgressEnd progressEnd{ui};

  auto fileFailure = [&](TextId problem, const char* fallback, const FileError& error) {
    ui.message(textOr(problem, fallback, {error.describe()}), appName, ports::Icon::Error,
               ports::Buttons::Ok);
  };

  // The input: a 16-bit mono or stereo PCM WAV file.
  CFile64 input;
  FileError error;
  if (!input.Open(inputPath, CFile64::kRead, CFile64::kShareRead | CFile64::kShareWrite,
                  CFile64::kOpenExisting, &error)) {
    fileFailure(TextId::FilterOpenError, "The input file cannot be opened: %s", error);
    return FilterResult::Refused;
  }
  WavLayout layout;
  try {
    if (!readWavLayout(input, layout)) {
      ui.message(
          textOr(TextId::FilterBadHeader,
                 "\"%s\" is not a WAV file that can be read: its header is missing or damaged.", {inputPath}),
          appName, ports::Icon::Error, ports::Buttons::Ok);
      return FilterResult::Refused;
    }
  } catch (const FileError& e) {
    fileFailure(TextId::FilterOpenError, "The input file cannot be opened: %s", e);
    return FilterResult::Refused;
  }
  if (!layout.isPcm() || layout.bitsPerSample != 16 || layout.channels > 2) {
    ui.message(textOr(TextId::FilterRefused, "Only 16-bit mono or stereo WAV files can be filtered."),
               textOr(TextId::FilterRefusedCaption, "WAV filter"), ports::Icon::Warning, ports::Buttons::Ok);
    return FilterResult::Refused;
  }

  const int channels = layout.channels;
  const std::uint64_t frameBytes = 2u * static_cast<std::uint64_t>(channels);
  std::uint64_t dataLength = layout.dataLength;
  if (layout.declaredLength != 0 && layout.declaredLength != 0xFFFFFFFFu &&
      layout.declaredLength > layout.available)
    ui.status(
        textOr(TextId::FilterShortData,
               "The header of \"%s\" claims %llu bytes of audio, but the file holds only %llu; the bytes "
               "present are filtered.",
               {inputPath, static_cast<unsigned long long>(layout.declaredLength),
                static_cast<unsigned long long>(layout.available)}));
  if (dataLength > kMaxOutputData) {
    dataLength = kMaxOutputData - kMaxOutputData % frameBytes;
    ui.status(textOr(TextId::FilterTooLong,
                     "\"%s\" is too long for one WAV file; only its first %llu bytes are filtered.",
                     {inputPath, static_cast<unsigned long long>(dataLength)}));
  }
  if (const std::uint64_t partial = dataLength % frameBytes; partial != 0) {
    dataLength -= partial;
    ui.status(textOr(TextId::FilterPartialFrame,
                     "\"%s\" ends in the middle of a sample; its last %u bytes are left out.",
                     {inputPath, static_cast<unsigned>(partial)}));
  }

  // The output is written under a temporary name beside its final place and renamed at the end.
  fs::path finalPath(outputPath);
  {
    std::error_code ec;
    if (fs::is_symlink(finalPath, ec)) {
      const fs::path resolved = fs::weakly_canonical(finalPath, ec);
      if (!ec) finalPath = resolved;
    }
    if (fs::is_directory(finalPath, ec)) {
      fileFailure(TextId::FilterFileError, "The filter stopped: %s",
                  FileError(FileError::kAccessDenied, EISDIR, outputPath));
      return FilterResult::Failed;
    }
  }
  WaveFile output;
  std::string tempPath;
  for (int attempt = 0;; ++attempt) {
    tempPath = temporaryName(finalPath, attempt);
    if (output.Open(tempPath, CFile64::kWrite, CFile64::kShareRead | CFile64::kShareWrite,
                    CFile64::kCreateNew, &error))
      break;
    if (error.osError() != EEXIST || attempt >= 100) {
      fileFailure(TextId::FilterFileError, "The filter stopped: %s",
                  FileError(error.cause(), error.osError(), outputPath));
      return FilterResult::Failed;
    }
  }
  auto discardOutput = [&] {
    output.file().Abort();
    std::error_code ec;
    fs::remove(tempPath, ec);
  };

  bool cancelled = false;
  try {
    output.SetFormat(layout.sampleRate, 16, static_cast<std::uint16_t>(channels));

    std::array<FirFilter, 2> filters;
    const bool filtering = info.kind != FilterModeInfo::kNone;
    if (filtering) {
      double f1 = 0.0, f2 = 1.0;
      filterModeEdges(mode, layout.sampleRate, f1, f2);
      for (int c = 0; c < channels; ++c)
        if (filters[static_cast<std::size_t>(c)].Design(kDesignTaps, f1, f2) < 0) throw std::bad_alloc();
    }
    LevelState level(layout.sampleRate);

    std::vector<std::uint8_t> inBlock(kBlockBytes);
    std::vector<std::uint8_t> outBlock(kBlockBytes);
    PassBuffers buffers;

    input.Seek(layout.dataOffset, CFile64::kBegin);
    if (!ui.progress(caption, 0, kProgressRange)) cancelled = true;
    std::uint64_t done = 0;
    while (!cancelled && done < dataLength) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, dataLength - done));
      std::size_t got = input.Read(inBlock.data(), want);
      got -= got % frameBytes;  // the file shrank while being read: whole frames only
      const std::size_t frames = got / frameBytes;
      for (std::size_t first = 0; first < frames; first += kPassFrames) {
        const std::size_t offset = first * frameBytes;
        processPass(buffers, channels, filters, filtering, info.levelControl, level, inBlock.data() + offset,
                    std::min(kPassFrames, frames - first), outBlock.data() + offset);
      }
      if (got > 0) output.WriteAndExtend(outBlock.data(), got);
      done += got;
      if (got < want) break;  // the input ended early
      if (!ui.progress(caption, done * kProgressRange / dataLength, kProgressRange)) cancelled = true;
    }
    if (cancelled) {
      discardOutput();
      return FilterResult::Cancelled;
    }
    input.Close();
    output.Close();  // corrects the header's lengths
  } catch (const FileError& e) {
    discardOutput();
    // The user knows the output by its own name, not by the temporary one.
    fileFailure(TextId::FilterFileError, "The filter stopped: %s",
                e.path() == tempPath ? FileError(e.cause(), e.osError(), outputPath) : e);
    return FilterResult::Failed;
  } catch (const std::bad_alloc&) {
    discardOutput();
    fileFailure(TextId::FilterFileError, "The filter stopped: %s",
                FileError(FileError::kGeneric, ENOMEM, outputPath));
    return FilterResult::Failed;
  }

  std::error_code ec;
  fs::rename(tempPath, finalPath, ec);
  if (ec) {
    const int osError = ec.value();
    fs::remove(tempPath, ec);
    fileFailure(TextId::FilterFileError, "The filter stopped: %s",
                FileError(FileError::causeFromErrno(osError), osError, outputPath));
    return FilterResult::Failed;
  }
  if (dataLength == 0) ui.progress(caption, kProgressRange, kProgressRange);  // no block reported it
  return FilterResult::Completed;
}

}  // namespace recdesk::audio
