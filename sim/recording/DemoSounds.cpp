#include "recording/DemoSounds.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace recdesk::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::int16_t sample(double v) { return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0)); }

// A small deterministic generator: uniform values in [-1, 1) and [0, 1).
class Random {
 public:
  explicit Random(std::uint32_t seed) : x_(seed == 0 ? 0x9E3779B9u : seed) {}
  double unit() {
    x_ ^= x_ << 13;
    x_ ^= x_ >> 17;
    x_ ^= x_ << 5;
    return static_cast<double>(x_) / 4294967296.0;
  }
  double signedUnit() { return unit() * 2.0 - 1.0; }
  double between(double low, double high) { return low + (high - low) * unit(); }

 private:
  std::uint32_t x_;
};

class SpeechLike final : public PcmGenerator {
 public:
  SpeechLike(std::uint32_t rate, double amplitude, std::uint32_t seed)
      : rate_(rate), amplitude_(amplitude), random_(seed), delay_(static_cast<std::size_t>(rate / 50) + 1, 0.0) {
    nextSegment();
  }

  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    for (std::size_t i = 0; i < frames; ++i) {
      if (left_ == 0) nextSegment();
      --left_;
      const double x = 1.0 - static_cast<double>(left_) / static_cast<double>(length_);  // 0..1 through it
      double v = 0.0;
      if (voiced_) {
        const double pitch = pitchFrom_ + (pitchTo_ - pitchFrom_) * x;
        phase_ += kTwoPi * pitch / rate_;
        if (phase_ > kTwoPi) phase_ -= kTwoPi;
        // Harmonics weighted by two formants of the syllable's vowel, scaled so that their peaks
        // stay within the amplitude.
        double weights = 0.0;
        for (int h = 1; h <= 12; ++h) {
          const double f = pitch * h;
          if (f > rate_ * 0.45) break;
          const double w = formant(f, formant1_, 120.0) + 0.6 * formant(f, formant2_, 200.0) + 0.15 / h;
          v += w * std::sin(phase_ * h);
          weights += w;
        }
        const double envelope = std::min(1.0, x * 8.0) * std::min(1.0, (1.0 - x) * 4.0);
        v *= envelope * (0.85 + 0.15 * std::sin(kTwoPi * 5.0 * x)) / std::max(1.0, weights);  // a slight tremble
      }
      v = amplitude_ * v + 0.004 * random_.signedUnit();
      delay_[at_] = v;
      at_ = (at_ + 1) % delay_.size();
      const double late = delay_[at_];  // the second microphone, 20 ms further away
      for (int c = 0; c < channels; ++c) *out++ = sample(c == 0 ? v : 0.75 * late + 0.2 * v);
    }
  }

 private:
  static double formant(double f, double centre, double width) {
    const double d = (f - centre) / width;
    return 1.0 / (1.0 + d * d);
  }

  void nextSegment() {
    // Syllables of 0.12-0.3 s in words of 1-4, a short gap between syllables, a longer one
    // between words and a pause after a phrase.
    static constexpr double kVowels[][2] = {{730, 1090}, {530, 1840}, {270, 2290}, {570, 840}, {300, 870}, {660, 1720}};
    if (voiced_ || pauseDue_) {
      voiced_ = false;
      double gap = 0.04;
      if (--syllablesLeft_ <= 0) {
        syllablesLeft_ = 1 + static_cast<int>(random_.unit() * 4);
        gap = (--wordsLeft_ <= 0) ? random_.between(0.6, 1.4) : random_.between(0.12, 0.25);
        if (wordsLeft_ <= 0) wordsLeft_ = 3 + static_cast<int>(random_.unit() * 6);
      }
      pauseDue_ = false;
      setLength(gap);
      return;
    }
    voiced_ = true;
    const auto& vowel = kVowels[static_cast<std::size_t>(random_.unit() * std::size(kVowels)) % std::size(kVowels)];
    formant1_ = vowel[0];
    formant2_ = vowel[1];
    pitchFrom_ = random_.between(110, 200);
    pitchTo_ = std::clamp(pitchFrom_ + random_.between(-50, 40), 90.0, 240.0);
    setLength(random_.between(0.12, 0.3));
  }

  void setLength(double seconds) {
    length_ = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(seconds * rate_));
    left_ = length_;
  }

  double rate_;
  double amplitude_;
  Random random_;
  std::vector<double> delay_;
  std::size_t at_ = 0;
  bool voiced_ = false;
  bool pauseDue_ = true;
  int syllablesLeft_ = 0;
  int wordsLeft_ = 4;
  double pitchFrom_ = 150, pitchTo_ = 150, formant1_ = 700, formant2_ = 1200;
  double phase_ = 0.0;
  std::uint64_t length_ = 1, left_ = 0;
};

class Sweep final : public PcmGenerator {
 public:
  Sweep(std::uint32_t rate, double amplitude, double low, double high, double period)
      : rate_(rate), amplitude_(amplitude), low_(std::log(low)), high_(std::log(high)),
        periodFrames_(std::max(1.0, period * rate)) {}

  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    for (std::size_t i = 0; i < frames; ++i, ++n_) {
      const double x = std::fmod(static_cast<double>(n_), periodFrames_) / periodFrames_;
      const double up = x < 0.5 ? x * 2.0 : 2.0 - x * 2.0;  // up, then down again
      phase_[0] = advance(phase_[0], up);
      phase_[1] = advance(phase_[1], 1.0 - up);
      for (int c = 0; c < channels; ++c) *out++ = sample(amplitude_ * std::sin(phase_[c == 0 ? 0 : 1]));
    }
  }

 private:
  double advance(double phase, double position) const {
    phase += kTwoPi * std::exp(low_ + (high_ - low_) * position) / rate_;
    return phase > kTwoPi ? phase - kTwoPi : phase;
  }

  double rate_;
  double amplitude_;
  double low_, high_;
  double periodFrames_;
  std::uint64_t n_ = 0;
  double phase_[2] = {0.0, 0.0};
};

class RoomNoise final : public PcmGenerator {
 public:
  RoomNoise(std::uint32_t rate, double noise, std::uint32_t seed) : rate_(rate), noise_(noise), random_(seed) {
    untilEvent_ = static_cast<std::uint64_t>(random_.between(1.0, 3.0) * rate_);
  }

  void generate(std::int16_t* out, std::size_t frames, int channels) override {
    for (std::size_t i = 0; i < frames; ++i) {
      // Low-passed noise sounds like a room rather than a hiss.
      hum_ = 0.9 * hum_ + 0.1 * random_.signedUnit();
      double v = noise_ * (2.5 * hum_ + 0.3 * random_.signedUnit());
      if (untilEvent_ == 0) startEvent();
      --untilEvent_;
      if (eventLeft_ > 0) {
        const double t = static_cast<double>(eventFrames_ - eventLeft_) / rate_;
        --eventLeft_;
        switch (kind_) {
          case 0: v += 0.5 * std::exp(-t * 60.0) * random_.signedUnit(); break;                // a knock
          case 1: v += 0.25 * std::min(1.0, t * 200.0) * std::sin(kTwoPi * 1000.0 * t); break;  // a beep
          default: v += 0.45 * std::exp(-t * 9.0) * std::sin(kTwoPi * 70.0 * t); break;        // a thump
        }
      }
      for (int c = 0; c < channels; ++c) *out++ = sample(c == 0 ? v : 0.8 * v);
    }
  }

 private:
  void startEvent() {
    kind_ = static_cast<int>(random_.unit() * 3) % 3;
    const double seconds = kind_ == 0 ? 0.15 : kind_ == 1 ? 0.25 : 0.6;
    eventFrames_ = eventLeft_ = static_cast<std::uint64_t>(seconds * rate_);
    untilEvent_ = static_cast<std::uint64_t>(random_.between(2.0, 7.0) * rate_);
  }

  double rate_;
  double noise_;
  Random random_;
  double hum_ = 0.0;
  int kind_ = 0;
  std::uint64_t untilEvent_ = 0, eventLeft_ = 0, eventFrames_ = 1;
};

}  // namespace

std::unique_ptr<PcmGenerator> makeSpeechLike(std::uint32_t sampleRate, double amplitude, std::uint32_t seed) {
  return std::make_unique<SpeechLike>(sampleRate, amplitude, seed);
}

std::unique_ptr<PcmGenerator> makeSweep(std::uint32_t sampleRate, double amplitude, double lowHz, double highHz,
                                        double periodSeconds) {
  return std::make_unique<Sweep>(sampleRate, amplitude, lowHz, highHz, periodSeconds);
}

std::unique_ptr<PcmGenerator> makeRoomNoise(std::uint32_t sampleRate, double noiseAmplitude, std::uint32_t seed) {
  return std::make_unique<RoomNoise>(sampleRate, noiseAmplitude, seed);
}

}  // namespace recdesk::sim
