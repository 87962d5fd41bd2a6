// FirFilter: the four designs' frequency responses, the delay line, clamping and block processing.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "audio/FirFilter.h"

namespace recdesk::audio {
namespace {

// |H| at frequency f (a fraction of half the sample rate) from the taps.
double gainAt(const FirFilter& filter, double f) {
  std::complex<double> sum = 0.0;
  const auto& h = filter.coefficients();
  for (std::size_t k = 0; k < h.size(); ++k)
    sum += h[k] * std::polar(1.0, -M_PI * f * static_cast<double>(k));
  return std::abs(sum);
}

// The measured gain of a sine through Apply, after the filter has settled.
double measuredGain(FirFilter& filter, double f, double amplitude = 10000.0) {
  filter.Clear();
  double in = 0.0, out = 0.0;
  for (int i = 0; i < 4000; ++i) {
    const double x = amplitude * std::cos(M_PI * f * i);
    const double y = filter.Apply(x);
    if (i >= 200) {
      in += x * x;
      out += y * y;
    }
  }
  return std::sqrt(out / in);
}

struct DesignCase {
  const char* name;
  double f1, f2;
  std::vector<double> pass;  // frequencies with a gain near 1
  std::vector<double> stop;  // frequencies strongly reduced
};

class FirDesign : public ::testing::TestWithParam<DesignCase> {};

TEST_P(FirDesign, PassesItsBandAndStopsTheRest) {
  const DesignCase& c = GetParam();
  FirFilter filter;
  ASSERT_EQ(filter.Design(32, c.f1, c.f2), 33);
  for (double f : c.pass) {
    EXPECT_NEAR(gainAt(filter, f), 1.0, 0.06) << c.name << " pass band at " << f;
    EXPECT_NEAR(measuredGain(filter, f), 1.0, 0.06) << c.name << " pass band at " << f;
  }
  for (double f : c.stop) {
    EXPECT_LT(gainAt(filter, f), 0.1) << c.name << " stop band at " << f;
    EXPECT_LT(measuredGain(filter, f), 0.1) << c.name << " stop band at " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(AllDesigns, FirDesign,
                         ::testing::Values(
                             // The speech band at 8000 Hz: 300..3300 Hz is 0.075..0.825.
                             DesignCase{"band-pass", 0.075, 0.825, {0.25, 0.45, 0.6}, {0.0, 0.95, 1.0}},
                             DesignCase{"low-pass", 0.0, 0.4, {0.0, 0.1, 0.2}, {0.6, 0.8, 1.0}},
                             DesignCase{"high-pass", 0.4, 1.0, {0.6, 0.8, 1.0}, {0.0, 0.1, 0.2}},
                             DesignCase{"band-stop", 0.7, 0.3, {0.0, 0.05, 0.95, 1.0}, {0.45, 0.5, 0.55}}),
                         [](const auto& param) {
                           std::string n = param.param.name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

TEST(FirFilter, DesignNormalisesLowAndHighPassAndLeavesBandPassAsDesigned) {
  FirFilter low;
  ASSERT_EQ(low.Design(33, 0.0, 0.3), 33);
  double sum = 0.0;
  for (double v : low.coefficients()) sum += v;
  EXPECT_NEAR(sum, 1.0, 1e-12);  // unit gain at 0 Hz

  for (int n : {33, 35}) {  // centre tap even and odd
    FirFilter high;
    ASSERT_EQ(high.Design(n, 0.3, 1.0), n);
    EXPECT_NEAR(gainAt(high, 1.0), 1.0, 1e-12) << n << " taps";  // unit gain at half the sample rate
  }

  FirFilter band;
  ASSERT_EQ(band.Design(33, 0.075, 0.825), 33);
  const auto& h = band.coefficients();
  EXPECT_NEAR(h[16], 0.825 - 0.075, 1e-12);  // centre tap: f2 - f1 times the window's 1
  for (std::size_t k = 0; k < h.size(); ++k) EXPECT_NEAR(h[k], h[h.size() - 1 - k], 1e-9);  // linear phase
}

TEST(FirFilter, DesignTapCountAndRefusals) {
  FirFilter f;
  EXPECT_EQ(f.Design(32, 0.1, 0.5), 33);  // even counts are made odd
  EXPECT_EQ(f.Design(1, 0.1, 0.5), 1);
  EXPECT_EQ(f.Design(0, 0.1, 0.5), -1);
  EXPECT_EQ(f.Design(-5, 0.1, 0.5), -1);
  EXPECT_EQ(f.Design(FirFilter::kMaxTaps + 2, 0.1, 0.5), -1);
  for (double x : {0.0, 123.0, -32768.0, 32767.0}) EXPECT_TRUE(std::isfinite(f.Apply(x)));
}

TEST(FirFilter, EdgePairsWithoutAFilterPassTheSignalUnchanged) {
  // f1 = 0 and f2 = 1 (everything), f1 = f2, edges beyond half the sample rate, no numbers at all.
  for (auto [f1, f2] : std::vector<std::pair<double, double>>{
           {0.0, 1.0}, {0.4, 0.4}, {1.5, 1.0}, {0.0, 0.0}, {NAN, NAN}, {-1.0, 7.0}}) {
    FirFilter f;
    ASSERT_EQ(f.Design(33, f1, f2), 33);
    std::vector<double> out;
    for (int i = 0; i < 60; ++i) out.push_back(f.Apply(i * 100.0));
    for (int i = 16; i < 60; ++i)
      EXPECT_EQ(out[static_cast<std::size_t>(i)], (i - 16) * 100.0) << f1 << "," << f2;
  }
  // An edge above half the sample rate counts as 1: a band-pass whose top edge is out of reach is a
  // high-pass.
  FirFilter clipped, high;
  clipped.Design(33, 0.3, 1.4);
  high.Design(33, 0.3, 1.0);
  EXPECT_EQ(clipped.coefficients(), high.coefficients());
}

TEST(FirFilter, ApplyUsesTheDelayLineAndClearEmptiesIt) {
  FirFilter f;
  ASSERT_EQ(f.Design(5, 0.0, 0.5), 5);
  const auto h = f.coefficients();
  // An impulse comes out as the taps, in order.
  std::vector<double> response;
  response.push_back(f.Apply(1000.0));
  for (int i = 0; i < 6; ++i) response.push_back(f.Apply(0.0));
  for (std::size_t k = 0; k < h.size(); ++k) EXPECT_NEAR(response[k], 1000.0 * h[k], 1e-9);
  EXPECT_EQ(response[5], 0.0);

  f.Apply(20000.0);
  f.Clear();
  EXPECT_EQ(f.Apply(0.0), 0.0);  // nothing of the earlier input is left
}

TEST(FirFilter, OutputIsClampedTo16Bits) {
  FirFilter f;
  ASSERT_EQ(f.Design(33, 0.0, 1.0), 33);  // pass-through: the clamp alone decides
  for (int i = 0; i < 40; ++i) f.Apply(i % 2 ? 1e6 : -1e6);
  EXPECT_EQ(f.Apply(0.0), -32768.0);
  EXPECT_EQ(f.Apply(0.0), 32767.0);

  // A band-pass turns a full-scale square wave into its larger fundamental; the excess is clamped.
  FirFilter band;
  band.Design(32, 0.075, 0.825);
  double lo = 0.0, hi = 0.0;
  for (int i = 0; i < 400; ++i) {
    const double y =
        band.Apply((i / 4) % 2 ? 32767.0 : -32768.0);  // its 1 kHz fundamental is 4/pi of full scale
    lo = std::min(lo, y);
    hi = std::max(hi, y);
  }
  EXPECT_EQ(lo, -32768.0);
  EXPECT_EQ(hi, 32767.0);
}

TEST(FirFilter, ProcessGivesExactlyWhatApplyGives) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> dist(-40000.0, 40000.0);
  std::vector<double> input(20000);
  for (double& v : input) v = std::round(dist(rng));

  FirFilter one;
  one.Design(32, 0.075, 0.825);
  std::vector<double> expected;
  for (double v : input) expected.push_back(one.Apply(v));

  for (int level : {0, 1, 2}) {  // every instruction set the processor has
    FirFilter::LimitInstructionSet(level);
    FirFilter block;
    block.Design(32, 0.075, 0.825);

    // Uneven pieces, across the internal chunk size, with Apply calls in between.
    std::vector<double> got;
    std::size_t pos = 0;
    const std::size_t pieces[] = {1, 7, 8, 9, 3000, 2048, 5000, 13};
    for (std::size_t i = 0; pos < input.size(); ++i) {
      const std::size_t n = std::min(pieces[i % std::size(pieces)], input.size() - pos);
      if (i % 3 == 2) {
        got.push_back(block.Apply(input[pos]));
        ++pos;
        continue;
      }
      std::vector<double> out(n);
      block.Process(input.data() + pos, out.data(), n);
      got.insert(got.end(), out.begin(), out.end());
      pos += n;
    }
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], expected[i]) << "sample " << i << " level " << level;
  }
  FirFilter::LimitInstructionSet(2);
}

}  // namespace
}  // namespace recdesk::audio
