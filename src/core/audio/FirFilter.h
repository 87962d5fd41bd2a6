#pragma once
// A windowed-sinc FIR filter (Hamming window) for 16-bit audio: low-pass, band-pass, band-stop or
// high-pass, chosen from the two edge frequencies given to Design.
#include <cstddef>
#include <vector>

namespace recdesk::audio {

class FirFilter {
 public:
  // The largest tap count Design accepts; longer filters are refused (-1), never allocated.
  static constexpr int kMaxTaps = 4095;

  // Designs the filter. n is the tap count (made odd by adding 1 when even); f1 and f2 are the edge
  // frequencies as fractions of half the sample rate:
  //   f1 = 0, f2 < 1          low-pass at f2 (unit gain at 0 Hz)
  //   0 < f1 < f2 < 1         band-pass from f1 to f2
  //   0 < f2 < f1 < 1         band-stop from f2 to f1
  //   f1 > 0, f2 = 1          high-pass at f1 (unit gain at half the sample rate)
  // Edges outside 0..1 are taken as 0 or 1; a pair that leaves nothing sensible to build (f1 = 0 and
  // f2 = 1, f1 = f2, a high-pass at or above half the sample rate) passes the signal unchanged.
  // Clears the delay line. Returns the tap count used, or -1 when n is out of range or memory is short.
  int Design(int n, double f1, double f2);

  // One sample in, one filtered sample out, clamped to [-32768, 32767].
  double Apply(double x);

  // Filters `count` samples: out[i] is what Apply(in[i]) would return, in turn. `in` and `out` must
  // not overlap.
  void Process(const double* in, double* out, std::size_t count);

  // Sets the delay line to 0.
  void Clear();

  // The widest instructions Process may use, for tests and measurements: 0 the portable vector
  // code, 1 up to AVX2, 2 (the default) whatever the processor has. Process gives the same results
  // on every level.
  static void LimitInstructionSet(int level);

  int taps() const { return static_cast<int>(h_.size()); }
  const std::vector<double>& coefficients() const { return h_; }

 private:
  static constexpr std::size_t kChunk = 2048;  // samples filtered per pass (keeps the work in L1/L2)

  std::vector<double> h_;
  // The previous inputs followed by the chunk being filtered: work_[0 .. n-2] holds the last n-1
  // inputs, oldest first.
  std::vector<double> work_;
};

}  // namespace recdesk::audio
