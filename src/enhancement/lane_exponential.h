// The exponential of the fast enlargement's last level, in vector lanes, and
// the pixels it makes. For the per-target kernel sources (and tests that hold
// them to their bound and their fall-back): the includer names its target
// with TAVRIX_TARGET.
#pragma once

#include <cstring>

#include "platform/pixel_rules.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

// 2^(j/64) for j = 0 .. 63, each rounded to the nearest double.
constexpr int32_t kExpTableBits = 6;
constexpr int32_t kExpTableSize = 1 << kExpTableBits;
alignas(64) constexpr double kExpTable[kExpTableSize] = {
    0x1.0000000000000p+0, 0x1.02c9a3e778061p+0, 0x1.059b0d3158574p+0, 0x1.0874518759bc8p+0,
    0x1.0b5586cf9890fp+0, 0x1.0e3ec32d3d1a2p+0, 0x1.11301d0125b51p+0, 0x1.1429aaea92de0p+0,
    0x1.172b83c7d517bp+0, 0x1.1a35beb6fcb75p+0, 0x1.1d4873168b9aap+0, 0x1.2063b88628cd6p+0,
    0x1.2387a6e756238p+0, 0x1.26b4565e27cddp+0, 0x1.29e9df51fdee1p+0, 0x1.2d285a6e4030bp+0,
    0x1.306fe0a31b715p+0, 0x1.33c08b26416ffp+0, 0x1.371a7373aa9cbp+0, 0x1.3a7db34e59ff7p+0,
    0x1.3dea64c123422p+0, 0x1.4160a21f72e2ap+0, 0x1.44e086061892dp+0, 0x1.486a2b5c13cd0p+0,
    0x1.4bfdad5362a27p+0, 0x1.4f9b2769d2ca7p+0, 0x1.5342b569d4f82p+0, 0x1.56f4736b527dap+0,
    0x1.5ab07dd485429p+0, 0x1.5e76f15ad2148p+0, 0x1.6247eb03a5585p+0, 0x1.6623882552225p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6dfb23c651a2fp+0, 0x1.71f75e8ec5f74p+0, 0x1.75feb564267c9p+0,
    0x1.7a11473eb0187p+0, 0x1.7e2f336cf4e62p+0, 0x1.82589994cce13p+0, 0x1.868d99b4492edp+0,
    0x1.8ace5422aa0dbp+0, 0x1.8f1ae99157736p+0, 0x1.93737b0cdc5e5p+0, 0x1.97d829fde4e50p+0,
    0x1.9c49182a3f090p+0, 0x1.a0c667b5de565p+0, 0x1.a5503b23e255dp+0, 0x1.a9e6b5579fdbfp+0,
    0x1.ae89f995ad3adp+0, 0x1.b33a2b84f15fbp+0, 0x1.b7f76f2fb5e47p+0, 0x1.bcc1e904bc1d2p+0,
    0x1.c199bdd85529cp+0, 0x1.c67f12e57d14bp+0, 0x1.cb720dcef9069p+0, 0x1.d072d4a07897cp+0,
    0x1.d5818dcfba487p+0, 0x1.da9e603db3285p+0, 0x1.dfc97337b9b5fp+0, 0x1.e502ee78b3ff6p+0,
    0x1.ea4afa2a490dap+0, 0x1.efa1bee615a27p+0, 0x1.f50765b6e4540p+0, 0x1.fa7c1819e90d8p+0};

// x = (64 k + j) ln 2 / 64 + r: the steps of ln 2 / 64 in x, and the step in
// two parts, the first with few bits so that a multiple of it is exact.
constexpr double kExpStepsPerUnit = 92.33248261689366;  // 64 / ln 2
constexpr double kExpStepHigh = 0.693147180369123816490 / kExpTableSize;
constexpr double kExpStepLow = 1.90821492927058770002e-10 / kExpTableSize;

// The Taylor coefficients of e^r, 1/3! down to 1/0!, for Horner's scheme.
constexpr int32_t kExpTaylorTerms = 4;
constexpr double kExpTaylor[kExpTaylorTerms] = {1.0 / 6.0, 0.5, 1.0, 1.0};

#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
// Four entries in one gather. In a 64-bit process its index is held in ymm3:
// the emulator that runs the test of older processors (qemu 7.2) reads a
// gather's index in ymm4 as no index, and gives every lane entry 0; the
// compiler may choose ymm4. A 32-bit process has no emulator to meet.
TAVRIX_KERNEL_INLINE __m256d GatherExpTable(__m256i index) {
#if defined(__x86_64__)
  register __m256i pinned __asm__("ymm3") = index;
  __m256d entries;
  __m256d mask = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  __asm__("vgatherqpd %[mask], (%[table], %[index], 8), %[entries]"
          : [entries] "=&x"(entries), [mask] "+x"(mask)
          : [table] "r"(kExpTable), [index] "x"(pinned), "m"(kExpTable));
  return entries;
#else
  return _mm256_i64gather_pd(kExpTable, index, 8);
#endif
}
#endif

// The table's entries of the lanes' indices (0 .. 63).
template <int N>
TAVRIX_KERNEL_INLINE typename Lanes<N>::Double ExpTableLanes(typename Lanes<N>::Long index) {
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
  if constexpr (N == 4) return typename Lanes<N>::Double(GatherExpTable(__m256i(index)));
#endif
  typename Lanes<N>::Double entries;
#pragma GCC unroll 8
  for (int l = 0; l < N; ++l) entries[l] = kExpTable[int32_t(index[l])];
  return entries;
}

// e^x for |x| <= 20 in every lane: x = (64 k + j) ln 2 / 64 + r with
// |r| <= ln 2 / 128, e^r by its Taylor polynomial of degree 3, times 2^(j/64)
// from the table and 2^k. Relative error below 4e-11: the truncated series
// leaves |r|^4 / 4! * e^|r| < 3.6e-11 of e^r, the rounding of the three Horner
// steps (fused or not), the table's entry and the product below 1e-15, and
// the reduction (ln 2 / 64 in two parts, |64 k + j| at most 1900) below 1e-16.
//
// K registers at once, in step: each is a chain of dependent operations, and
// one chain alone leaves the processor waiting. With registers to spare they
// are held in them step by step; with eight (a 32-bit process) the three
// steps go in the compiler's own order, which spills less.
template <int N, int K>
TAVRIX_KERNEL_INLINE void ExpLanes(typename Lanes<N>::Double (&x)[K]) {
  using Double = typename Lanes<N>::Double;
  using Long = typename Lanes<N>::Long;
  constexpr double kRoundingShift = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
  Double shifted[K], r[K], p[K];
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
    shifted[k] = x[k] * kExpStepsPerUnit + kRoundingShift;
    const Double whole = shifted[k] - kRoundingShift;
    r[k] = (x[k] - whole * kExpStepHigh) - whole * kExpStepLow;
    p[k] = ApproximateMultiplyAdd(r[k], Double{} + kExpTaylor[0], Double{} + kExpTaylor[1]);
  }
  for (int32_t i = 2; i < kExpTaylorTerms; ++i) {
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) p[k] = ApproximateMultiplyAdd(p[k], r[k], Double{} + kExpTaylor[i]);
    if constexpr (!kFewVectorRegisters) HoldInRegisters(p);
  }
  // The whole number 64 k + j sits in the low bits of the shifted value: j
  // picks the table's entry, whose exponent k is added to.
  const Double shift = Double{} + kRoundingShift;
  Long shiftBits;
  std::memcpy(&shiftBits, &shift, sizeof shiftBits);
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
    Long steps;
    std::memcpy(&steps, &shifted[k], sizeof steps);
    steps -= shiftBits;
    const Long index = steps & (kExpTableSize - 1);
    const Double entry = ExpTableLanes<N>(index);
    Long scaleBits;
    std::memcpy(&scaleBits, &entry, sizeof scaleBits);
    scaleBits += (steps - index) << (52 - kExpTableBits);
    Double scale;
    std::memcpy(&scale, &scaleBits, sizeof scale);
    x[k] = p[k] * scale;
  }
}

// A lane keeps the fast exponential's pixel unless its e^x - 1 lies within
// kPixelUnsure of an integer that decides the pixel (1 to 16383): up to
// e^x = 16385 the lane's error is below 6.6e-7 and the plain exponential's
// own below 1e-11, so elsewhere both truncate and clamp alike.
constexpr double kPixelUnsure = 1e-5;
constexpr double kLargestPixel = double(kMaxPixelValue);

// The pixel of z = e^x - 1 in every lane, truncated and clamped to 0..16383,
// and the lanes that must take the plain exponential instead: those where an
// integer that decides the pixel lies within kPixelUnsure. Clamped to
// 0.5 .. 16383.5, z truncates to the same pixel as clamped to 0 .. 16383, and
// its fraction lies near 0 or 1 only where the integer it is near decides the
// pixel: below 0.5 and above 16383.5 none does.
template <int N>
TAVRIX_KERNEL_INLINE typename Lanes<N>::Long UnsurePixelLanes(typename Lanes<N>::Double z,
                                                              typename Lanes<N>::Double& pixel) {
  using L = Lanes<N>;
  const typename L::Double zero = {};
  const typename L::Double clamped = ClampDoubles(z, zero + 0.5, zero + (kLargestPixel + 0.5));
  pixel = L::Truncated(clamped);
  const typename L::Double fraction = clamped - pixel;
  return L::Less(fraction, zero + kPixelUnsure) | L::Less(zero + (1.0 - kPixelUnsure), fraction);
}

template <int N>
typename Lanes<N>::Double ExpLanes(typename Lanes<N>::Double x) {
  typename Lanes<N>::Double lanes[1] = {x};
  ExpLanes<N, 1>(lanes);
  return lanes[0];
}

}  // namespace
}  // namespace TAVRIX_TARGET
}  // namespace tavrix
