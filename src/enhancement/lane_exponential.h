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

// The Taylor coefficients of e^r, 1/9! down to 1/0!, for Horner's scheme.
constexpr int32_t kExpTaylorTerms = 10;
constexpr double kExpTaylor[kExpTaylorTerms] = {1.0 / 362880.0, 1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0,
                                                1.0 / 120.0,    1.0 / 24.0,    1.0 / 6.0,    0.5,
                                                1.0,            1.0};

// e^x for |x| <= 20 in every lane: x = k ln 2 + r with |r| <= ln 2 / 2, e^r by
// its Taylor polynomial of degree 9, times 2^k. Relative error below 1.5e-11:
// the truncated series leaves |r|^10 / 10! * e^|r| < 1e-11 of e^r, the
// rounding of the nine Horner steps (fused or not) below 3e-15, and the reduction (ln 2 in
// two parts, |k| at most 29) below 1e-16.
//
// K registers at once, in step: each is a long chain of dependent operations,
// and one chain alone leaves the processor waiting.
template <int N, int K>
TAVRIX_KERNEL_INLINE void ExpLanes(typename Lanes<N>::Double (&x)[K]) {
  using Double = typename Lanes<N>::Double;
  using Long = typename Lanes<N>::Long;
  constexpr double kLog2E = 1.4426950408889634;
  constexpr double kLn2High = 0.693147180369123816490;  // few bits: k * kLn2High is exact
  constexpr double kLn2Low = 1.90821492927058770002e-10;
  constexpr double kRoundingShift = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
  Double shifted[K], r[K], p[K];
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
    shifted[k] = x[k] * kLog2E + kRoundingShift;
    const Double whole = shifted[k] - kRoundingShift;
    r[k] = (x[k] - whole * kLn2High) - whole * kLn2Low;
    p[k] = Double{} + kExpTaylor[0];
  }
  for (int32_t i = 1; i < kExpTaylorTerms; ++i) {
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) p[k] = ApproximateMultiplyAdd(p[k], r[k], Double{} + kExpTaylor[i]);
    HoldInRegisters(p);
  }
  // The whole number sits in the low bits of the shifted value; 2^k is built
  // from its bits.
  const Double shift = Double{} + kRoundingShift;
  Long shiftBits;
  std::memcpy(&shiftBits, &shift, sizeof shiftBits);
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
    Long shiftedBits;
    std::memcpy(&shiftedBits, &shifted[k], sizeof shiftedBits);
    const Long scaleBits = ((shiftedBits - shiftBits) + 1023) << 52;
    Double scale;
    std::memcpy(&scale, &scaleBits, sizeof scale);
    x[k] = p[k] * scale;
  }
}

// A lane keeps the fast exponential's pixel unless its e^x - 1 lies within
// kPixelUnsure of an integer that decides the pixel (1 to 16383): up to
// e^x = 16385 the lane's error is below 2.5e-7 and the plain exponential's
// own below 1e-11, so elsewhere both truncate and clamp alike.
constexpr double kPixelUnsure = 1e-5;
constexpr double kLargestPixel = double(kMaxPixelValue);

// The pixel of z = e^x - 1 in every lane, truncated and clamped to 0..16383,
// and the lanes that must take the plain exponential instead: those where an
// integer that decides the pixel lies within kPixelUnsure, and those whose x
// is not a number. Clamped to 0.5 .. 16383.5, z truncates to the same pixel
// as clamped to 0 .. 16383, and its fraction lies near 0 or 1 only where the
// integer it is near decides the pixel: below 0.5 and above 16383.5 none does.
template <int N>
TAVRIX_KERNEL_INLINE typename Lanes<N>::Long UnsurePixelLanes(typename Lanes<N>::Double z,
                                                              typename Lanes<N>::Double x,
                                                              typename Lanes<N>::Double& pixel) {
  using L = Lanes<N>;
  const typename L::Double zero = {};
  const typename L::Double clamped = ClampDoubles(z, zero + 0.5, zero + (kLargestPixel + 0.5));
  pixel = L::Truncated(clamped);
  const typename L::Double fraction = clamped - pixel;
  return L::Unordered(x) | L::Less(fraction, zero + kPixelUnsure) | L::Less(zero + (1.0 - kPixelUnsure), fraction);
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
