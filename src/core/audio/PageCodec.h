#pragma once
// The per-code arithmetic of the page encodings: lookup tables and one inline step per encoding.
// The decoder's page kernel and the recording writer (which encodes by trying every code through
// these same steps) share them, so what the writer chooses is exactly what the decoder produces.
//
// All state starts afresh at the start of every page. Values are 32-bit; right shifts of negative
// values are arithmetic; the only 16-bit wrap is in the 8-bit encoding 6 step.
#include <algorithm>
#include <array>
#include <cstdint>

namespace recdesk::audio::codec {

// Difference table of encoding 3 at 4 bits (offset 4097).
inline constexpr std::array<std::int32_t, 16> kD3{1138, 2784, 3519, 3844, 3988, 4051, 4079, 4091,
                                                  4097, 4105, 4122, 4165, 4273, 4547, 5238, 6963};
// Step table of encoding 4 at 4 bits (offset 257).
inline constexpr std::array<std::int32_t, 16> kD4{62,  156, 205, 230, 244, 251, 254, 256,
                                                  257, 259, 261, 266, 277, 300, 348, 447};
// Delta table of encodings 5 and 6 at 4 bits.
inline constexpr std::array<std::int32_t, 16> kD56{-27, -18, -12, -8, -5, -3, -2, -1, 0, 1, 2, 4, 7, 11, 17, 27};
// Step adjustments.
inline constexpr std::array<std::int32_t, 16> kA4{4, 2, 1, 1, 0, 0, -1, -1, -2, -1, -1, 0, 1, 1, 2, 4};
inline constexpr std::array<std::int32_t, 16> kA6{2, 1, 0, 0, 0, 0, 0, -1, -1, -1, 0, 0, 0, 0, 1, 2};
inline constexpr std::array<std::int32_t, 16> kA5{3, 2, 1, 0, 0, 0, 0, -1, -2, -1, 0, 0, 0, 1, 2, 3};

// Byte table of encodings 3 and 4 at 8 bits (offset 8193).
inline constexpr std::array<std::int32_t, 256> kE3{
    173,   511,   837,   1149,  1448,  1735,  2009,  2271,  2523,  2764,  2995,  3216,  3427,  3630,  3824,  4010,
    4188,  4358,  4522,  4678,  4828,  4971,  5109,  5240,  5367,  5488,  5603,  5714,  5820,  5921,  6019,  6112,
    6201,  6287,  6369,  6447,  6522,  6594,  6663,  6729,  6792,  6853,  6911,  6966,  7020,  7071,  7119,  7166,
    7211,  7254,  7295,  7334,  7371,  7407,  7442,  7475,  7507,  7537,  7566,  7594,  7621,  7646,  7671,  7694,
    7717,  7738,  7759,  7778,  7797,  7815,  7832,  7849,  7865,  7880,  7895,  7909,  7922,  7935,  7948,  7959,
    7970,  7981,  7992,  8001,  8011,  8020,  8029,  8037,  8045,  8052,  8060,  8067,  8073,  8080,  8086,  8092,
    8098,  8103,  8108,  8113,  8118,  8122,  8127,  8131,  8135,  8139,  8142,  8146,  8149,  8152,  8155,  8158,
    8161,  8164,  8167,  8169,  8172,  8174,  8176,  8178,  8180,  8182,  8184,  8186,  8187,  8189,  8190,  8192,
    8193,  8195,  8196,  8198,  8199,  8201,  8203,  8205,  8207,  8209,  8211,  8213,  8215,  8218,  8220,  8223,
    8225,  8228,  8231,  8234,  8238,  8241,  8245,  8249,  8253,  8257,  8261,  8265,  8270,  8274,  8279,  8285,
    8290,  8296,  8302,  8308,  8315,  8322,  8329,  8336,  8344,  8352,  8361,  8369,  8379,  8389,  8399,  8409,
    8420,  8432,  8444,  8456,  8470,  8484,  8498,  8512,  8528,  8544,  8562,  8580,  8598,  8618,  8638,  8659,
    8681,  8704,  8728,  8754,  8780,  8807,  8836,  8866,  8898,  8930,  8964,  9000,  9037,  9076,  9117,  9159,
    9204,  9250,  9298,  9349,  9402,  9457,  9514,  9575,  9638,  9703,  9772,  9843,  9918,  9997,  10078, 10163,
    10252, 10345, 10442, 10544, 10650, 10760, 10876, 10996, 11122, 11254, 11392, 11535, 11685, 11842, 12005, 12176,
    12355, 12541, 12736, 12939, 13151, 13373, 13605, 13847, 14100, 14364, 14640, 14928, 15229, 15543, 15871, 16212};

// Byte table of encoding 6 at 8 bits.
inline constexpr std::array<std::int32_t, 256> kE6{
    -507, -496, -485, -475, -465, -455, -446, -437, -427, -418, -409, -401, -392, -383, -375, -367,
    -359, -351, -344, -336, -329, -322, -315, -308, -301, -294, -288, -281, -275, -269, -263, -257,
    -251, -245, -240, -234, -229, -224, -219, -214, -209, -204, -199, -194, -190, -185, -180, -176,
    -172, -168, -163, -159, -155, -152, -148, -144, -140, -137, -133, -130, -127, -123, -120, -117,
    -114, -111, -108, -105, -102, -99,  -96,  -93,  -91,  -88,  -85,  -83,  -80,  -78,  -76,  -73,
    -71,  -69,  -66,  -64,  -62,  -60,  -58,  -56,  -54,  -52,  -50,  -48,  -46,  -45,  -43,  -41,
    -40,  -38,  -36,  -35,  -33,  -32,  -30,  -29,  -27,  -26,  -24,  -23,  -22,  -21,  -19,  -18,
    -17,  -16,  -14,  -13,  -12,  -11,  -10,  -9,   -8,   -7,   -6,   -5,   -4,   -3,   -2,   -1,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   14,   15,   16,
    17,   18,   20,   21,   22,   24,   25,   27,   28,   29,   31,   33,   34,   36,   37,   39,
    41,   42,   44,   46,   48,   50,   52,   53,   55,   57,   59,   62,   64,   66,   68,   70,
    72,   75,   77,   80,   82,   84,   87,   90,   92,   95,   98,   101,  103,  106,  109,  112,
    116,  119,  122,  125,  129,  132,  136,  140,  143,  147,  151,  155,  159,  163,  167,  171,
    175,  179,  184,  188,  193,  198,  202,  207,  212,  217,  223,  228,  233,  239,  245,  250,
    256,  262,  268,  274,  281,  287,  294,  300,  307,  314,  321,  328,  336,  343,  351,  359,
    367,  375,  383,  392,  400,  409,  418,  427,  436,  446,  456,  466,  476,  486,  496,  507};

// Both comparisons look at v, so they can run side by side.
inline constexpr std::int32_t clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  std::int32_t r = v > hi ? hi : v;
  r = v < lo ? lo : r;
  return r;
}
// Left shift written as a multiplication (the codes' deltas are negative half of the time).
inline constexpr std::int32_t shl(std::int32_t v, std::int32_t s) { return v * (std::int32_t{1} << s); }

// The predictor and step state of one channel.
struct Channel {
  std::int32_t x1 = 0, x2 = 0, x3 = 0, s = 0;
};

// ---- 8 encoded bits, 16-bit output ----------------------------------------------------------------

// Initial value of a channel (the little-endian signed value of its two bytes). Returns the output.
inline std::int32_t start8(Channel& ch, std::int16_t value, bool encoding6) {
  std::int32_t v = clamp(value, -16384, 16383);
  if (encoding6) {
    v = clamp(v, -8192, 8191);
    ch.x1 = ch.x2 = ch.x3 = v;
    ch.s = 5;
    return v * 4;
  }
  ch.x1 = v;
  return v * 2;
}

// Encoding 3 (and 4 and every value but 5, 6, 31) at 8 bits.
inline std::int32_t step8Difference(Channel& ch, std::uint8_t p) {
  ch.x1 = clamp(ch.x1 + kE3[p] - 8193, -16384, 16383);
  return ch.x1 * 2;
}

// Encoding 6 at 8 bits: the sum wraps as a signed 16-bit value before it is clamped.
inline std::int32_t step8Prediction(Channel& ch, std::uint8_t p) {
  const std::int32_t q = clamp((ch.x2 >> 1) + (ch.x1 >> 1), -8192, 8191);
  std::int32_t y = static_cast<std::int16_t>(static_cast<std::uint16_t>(q + shl(kE6[p], ch.s)));
  if (p == 0 || p == 255)
    ch.s += 3;
  else if (p == 128)
    ch.s -= 1;
  ch.s = clamp(ch.s, 0, 6);
  y = clamp(y, -8192, 8191);
  ch.x2 = ch.x1;
  ch.x1 = y;
  return y * 4;
}

// ---- 4 encoded bits, encoding 5 (8-bit output, values 0..255) ---------------------------------------

inline std::int32_t start4Prediction8(Channel& ch, std::uint8_t u) {
  ch.x1 = ch.x2 = ch.x3 = u;
  ch.s = 0;
  return u;
}

// Encoding 5 per (step, code): the delta D56[c] << s and the next step.
struct Prediction8Entry {
  std::int32_t delta, next;
};
inline constexpr std::array<Prediction8Entry, 6 * 16> kPrediction8 = [] {
  std::array<Prediction8Entry, 6 * 16> t{};
  for (std::int32_t s = 0; s < 6; ++s)
    for (std::size_t c = 0; c < 16; ++c)
      t[static_cast<std::size_t>(s) * 16 + c] = {shl(kD56[c], s), clamp(s + kA5[c], 0, 5)};
  return t;
}();

inline std::int32_t step4Prediction8(Channel& ch, unsigned c) {
  const Prediction8Entry& e = kPrediction8[static_cast<std::size_t>(ch.s) * 16 + c];
  // Everything but x1's share is formed first: only x1 waits for the previous sample.
  const std::int32_t older = -ch.x2 + ((ch.x2 + 2) >> 2) + ((ch.x3 + 1) >> 1) + e.delta;
  const std::int32_t y = clamp(ch.x1 + ((ch.x1 + 2) >> 2) + older, 0, 255);
  ch.s = e.next;
  ch.x3 = ch.x2;
  ch.x2 = ch.x1;
  ch.x1 = y;
  return y;
}

// ---- 4 encoded bits, encodings 3, 4 and 6 (16-bit output) -------------------------------------------

inline std::int32_t start4Difference(Channel& ch, std::int16_t value) {
  ch.x1 = clamp(value, -16384, 16383);
  return ch.x1 * 2;
}

// Encoding 4: in stereo the first output is limited to [-8192, 8191] x 4 while the state keeps the value.
inline std::int32_t start4Adaptive(Channel& ch, std::int16_t value, bool stereo) {
  ch.x1 = clamp(value, -16384, 16383);
  return stereo ? clamp(ch.x1, -8192, 8191) * 4 : ch.x1 * 2;
}

inline std::int32_t start4Prediction(Channel& ch, std::int16_t value) {
  const std::int32_t v = clamp(clamp(value, -16384, 16383), -8192, 8191);
  ch.x1 = ch.x2 = ch.x3 = v;
  ch.s = 5;
  return v * 4;
}

inline std::int32_t step4Difference(Channel& ch, unsigned c) {
  ch.x1 = clamp(ch.x1 + kD3[c] - 4097, -16384, 16383);
  return ch.x1 * 2;
}

template <bool kStereo>
inline std::int32_t step4Adaptive(Channel& ch, unsigned c) {
  ch.x1 += shl(kD4[c] - 257, ch.s);
  ch.s = clamp(ch.s + kA4[c], 0, kStereo ? 10 : 14);
  if constexpr (kStereo) {
    ch.x1 = clamp(ch.x1, -8192, 8191);
    return ch.x1 * 4;
  } else {
    ch.x1 = clamp(ch.x1, -16384, 16383);
    return ch.x1 * 2;
  }
}

// Encoding 6 per (step, code): y = clamp(clamp(q, L, H) + d, L, H) with d = clamp(D56[c] << s, L, H).
// Clamping is monotonic, so that equals clamp(q + d, lo, hi) with lo = clamp(L + d, L, H) and
// hi = clamp(H + d, L, H): all of it but q depends on the step and code only, and is looked up.
struct Prediction4Entry {
  std::int32_t d, lo, hi, next;
};
inline constexpr std::array<Prediction4Entry, 8 * 16> kPrediction4 = [] {
  constexpr std::int32_t L = -8192, H = 8191;
  std::array<Prediction4Entry, 8 * 16> t{};
  for (std::int32_t s = 0; s < 8; ++s)
    for (std::size_t c = 0; c < 16; ++c) {
      const std::int32_t d = clamp(shl(kD56[c], s), L, H);
      t[static_cast<std::size_t>(s) * 16 + c] = {d, clamp(L + d, L, H), clamp(H + d, L, H), clamp(s + kA6[c], 0, 7)};
    }
  return t;
}();

inline std::int32_t step4Prediction(Channel& ch, unsigned c) {
  const Prediction4Entry& e = kPrediction4[static_cast<std::size_t>(ch.s) * 16 + c];
  // Only x1's share waits for the previous sample.
  const std::int32_t older = -ch.x2 + (ch.x2 >> 2) + (ch.x3 >> 1) + e.d;
  const std::int32_t y = clamp(ch.x1 + (ch.x1 >> 2) + older, e.lo, e.hi);
  ch.s = e.next;
  ch.x3 = ch.x2;
  ch.x2 = ch.x1;
  ch.x1 = y;
  return y * 4;
}

}  // namespace recdesk::audio::codec
