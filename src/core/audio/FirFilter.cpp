#include "audio/FirFilter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

// Every output is summed as separate multiplies and adds, whatever the instruction set: fused
// multiply-adds would round differently in the wide paths than in Apply.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace recdesk::audio {

namespace {

// The constants the designs are built with (kept as the filter has always used them, so that the
// coefficients stay the same).
constexpr double kPi = 3.1415926535;
constexpr double kTwoPi = 6.283185307;

double clampSample(double y) {
  return std::min(std::max(y, -32768.0), 32767.0);
}

// One output the plain way: y = h[0] * x[i] + h[1] * x[i-1] + ... + h[n-1] * x[i-n+1], summed in
// that order, clamped to 16 bits. p points at x[i].
double firOne(const double* h, std::size_t n, const double* p) {
  double a = h[0] * p[0];
  for (std::size_t k = 1; k < n; ++k) a += h[k] * p[-static_cast<std::ptrdiff_t>(k)];
  return clampSample(a);
}

#if defined(__GNUC__) || defined(__clang__)
#define RECDESK_FIR_VECTORS 1
typedef double Vec2 __attribute__((vector_size(16)));
typedef double Vec4 __attribute__((vector_size(32)));
typedef double Vec8 __attribute__((vector_size(64)));

// firOne for many outputs at once: Acc vectors of V hold consecutive outputs in registers while the
// taps stream past. Every output is summed in the same order as firOne, so the results are
// identical; the independent accumulators keep the adders busy. Returns how many outputs were made
// (a multiple of the vector width).
template <typename V, int Acc>
[[gnu::always_inline]] inline std::size_t firBlocks(const double* h, std::size_t n, const double* xs,
                                                    double* y, std::size_t count) {
  constexpr std::size_t kLanes = sizeof(V) / sizeof(double);
  const V low = V{} - 32768.0;
  const V high = V{} + 32767.0;
  std::size_t i = 0;
  auto block = [&](auto accumulators) {
    constexpr int kAcc = decltype(accumulators)::value;
    constexpr std::size_t kWidth = kLanes * kAcc;
    for (; i + kWidth <= count; i += kWidth) {
      const double* p = xs + i + (n - 1);
      V a[kAcc];
      const double h0 = h[0];
#pragma GCC unroll 8
      for (int j = 0; j < kAcc; ++j) {
        V x;
        std::memcpy(&x, p + j * kLanes, sizeof x);
        a[j] = h0 * x;
      }
      for (std::size_t k = 1; k < n; ++k) {
        const double hk = h[k];
        const double* q = p - k;
#pragma GCC unroll 8
        for (int j = 0; j < kAcc; ++j) {
          V x;
          std::memcpy(&x, q + j * kLanes, sizeof x);
          a[j] += hk * x;
        }
      }
#pragma GCC unroll 8
      for (int j = 0; j < kAcc; ++j) {
        V v = a[j] < low ? low : a[j];
        v = v > high ? high : v;
        std::memcpy(y + i + j * kLanes, &v, sizeof v);
      }
    }
  };
  block(std::integral_constant<int, Acc>{});
  block(std::integral_constant<int, 1>{});
  return i;
}

#if (defined(__x86_64__) || defined(__i386__))
#define RECDESK_FIR_X86 1
__attribute__((target("avx512f"))) std::size_t firAvx512(const double* h, std::size_t n, const double* xs,
                                                         double* y, std::size_t count) {
  return firBlocks<Vec8, 8>(h, n, xs, y, count);
}
__attribute__((target("avx2"))) std::size_t firAvx2(const double* h, std::size_t n, const double* xs,
                                                    double* y, std::size_t count) {
  return firBlocks<Vec4, 8>(h, n, xs, y, count);
}
#endif
std::size_t firGeneric(const double* h, std::size_t n, const double* xs, double* y, std::size_t count) {
  return firBlocks<Vec2, 6>(h, n, xs, y, count);
}

using FirBlocksFn = std::size_t (*)(const double*, std::size_t, const double*, double*, std::size_t);
FirBlocksFn chooseFirBlocks(int limit) {
#ifdef RECDESK_FIR_X86
  static const bool avx512 = __builtin_cpu_supports("avx512f");
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (limit >= 2 && avx512) return firAvx512;
  if (limit >= 1 && avx2) return firAvx2;
#else
  (void)limit;
#endif
  return firGeneric;
}
#endif

std::atomic<int> instructionSetLimit{2};

// y[i] = firOne at x[i] for i in 0..count-1, where x[i] = xs[i + n - 1] (xs starts with the n-1
// previous inputs): n multiply-adds per output and nothing else, as wide as the processor allows.
void firKernel(const double* h, std::size_t n, const double* xs, double* y, std::size_t count) {
  std::size_t i = 0;
#ifdef RECDESK_FIR_VECTORS
  i = chooseFirBlocks(instructionSetLimit.load(std::memory_order_relaxed))(h, n, xs, y, count);
#endif
  for (; i < count; ++i) y[i] = firOne(h, n, xs + i + (n - 1));
}

}  // namespace

int FirFilter::Design(int n, double f1, double f2) {
  if (n < 1 || n > kMaxTaps) return -1;
  if (n % 2 == 0) ++n;
  const int m = (n - 1) / 2;

  std::vector<double> h;
  try {
    h.assign(static_cast<std::size_t>(n), 0.0);
    work_.assign(static_cast<std::size_t>(n - 1) + kChunk, 0.0);
  } catch (const std::bad_alloc&) {
    h_.clear();
    work_.clear();
    return -1;
  }

  // Edges outside 0..1 (or not numbers at all) are taken as the nearest sensible value.
  f1 = std::isnan(f1) ? 0.0 : std::clamp(f1, 0.0, 1.0);
  f2 = std::isnan(f2) ? 1.0 : std::clamp(f2, 0.0, 1.0);

  auto window = [&](int k) { return n == 1 ? 1.0 : 0.54 - 0.46 * std::cos(k * kTwoPi / (n - 1)); };
  auto applyWindow = [&](double sign) {
    for (int k = 0; k < n; ++k) h[static_cast<std::size_t>(k)] *= sign * window(k);
  };
  auto scale = [&](double divisor) {
    // A divisor of (almost) 0 would blow the taps up; such an edge pair is not a filter worth
    // normalising, and the taps are kept as designed.
    if (std::fabs(divisor) < 1e-12) return;
    for (double& v : h) v /= std::fabs(divisor);
  };
  const auto mi = static_cast<std::size_t>(m);

  if (f1 == 0.0 && f2 > 0.0 && f2 < 1.0) {
    // Low-pass.
    h[mi] = f2;
    for (int k = 1; k <= m; ++k) {
      const double t = kPi * k;
      h[mi + k] = h[mi - k] = std::sin(f2 * t) / t;
    }
    applyWindow(1.0);
    double sum = 0.0;
    for (double v : h) sum += v;
    scale(sum);
  } else if (f1 > 0.0 && f1 < f2 && f2 < 1.0) {
    // Band-pass.
    h[mi] = f2 - f1;
    for (int k = 1; k <= m; ++k) {
      const double t = kPi * k;
      h[mi + k] = h[mi - k] = 2.0 * std::cos((f1 + f2) / 2.0 * t) * std::sin((f2 - f1) / 2.0 * t) / t;
    }
    applyWindow(1.0);
  } else if (f2 > 0.0 && f2 < f1 && f1 < 1.0) {
    // Band-stop.
    h[mi] = f1 - f2;
    for (int k = 1; k <= m; ++k) {
      const double t = kPi * k;
      h[mi + k] = h[mi - k] = 2.0 * std::sin((f1 - f2) / 2.0 * t) * std::cos((f1 + f2) / 2.0 * t) / t;
    }
    applyWindow(-1.0);
    double sum = 0.0;
    for (double v : h) sum += v;
    h[mi] += 1.0;
    scale(sum + 1.0);
  } else if (f1 > 0.0 && f1 < 1.0 && f2 == 1.0) {
    // High-pass: the low-pass at f1 subtracted from a unit impulse at the centre tap.
    h[mi] = f1;
    for (int k = 1; k <= m; ++k) {
      const double t = kPi * k;
      h[mi + k] = h[mi - k] = std::sin(f1 * t) / t;
    }
    applyWindow(-1.0);
    double alternating = 0.0;
    for (int k = 0; k < n; ++k) alternating += (k % 2 == 0 ? 1.0 : -1.0) * h[static_cast<std::size_t>(k)];
    h[mi] += 1.0;
    // The gain at half the sample rate is the alternating sum including the impulse, which counts
    // +1 when the centre tap is even and -1 when it is odd.
    scale(alternating + (m % 2 == 0 ? 1.0 : -1.0));
  } else {
    // Nothing to filter: the signal passes unchanged (delayed by m samples like every design).
    h[mi] = 1.0;
  }

  h_ = std::move(h);
  Clear();
  return n;
}

double FirFilter::Apply(double x) {
  const std::size_t n = h_.size();
  if (n == 0) return clampSample(x);
  // work_[0 .. n-2] = the previous inputs, oldest first; work_[n-2] is the newest.
  double y = h_[0] * x;
  for (std::size_t k = 1; k < n; ++k) y += h_[k] * work_[n - 1 - k];
  if (n > 1) {
    std::memmove(work_.data(), work_.data() + 1, (n - 2) * sizeof(double));
    work_[n - 2] = x;
  }
  return clampSample(y);
}

void FirFilter::Process(const double* in, double* out, std::size_t count) {
  const std::size_t n = h_.size();
  if (n == 0) {
    for (std::size_t i = 0; i < count; ++i) out[i] = clampSample(in[i]);
    return;
  }
  const std::size_t history = n - 1;
  double* work = work_.data();
  while (count > 0) {
    const std::size_t chunk = std::min(count, kChunk);
    std::memcpy(work + history, in, chunk * sizeof(double));
    firKernel(h_.data(), n, work, out, chunk);
    // The newest n-1 inputs become the history of the next chunk.
    std::memmove(work, work + chunk, history * sizeof(double));
    in += chunk;
    out += chunk;
    count -= chunk;
  }
}

void FirFilter::LimitInstructionSet(int level) {
  instructionSetLimit.store(level, std::memory_order_relaxed);
}

void FirFilter::Clear() {
  std::fill(work_.begin(), work_.end(), 0.0);
}

}  // namespace recdesk::audio
