// The fast enlargement, written once and compiled per target: many source
// columns per register, and at the last level an exponential in the lanes
// that falls back to the plain one wherever the truncated pixel could come
// out differently.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "enhancement/lane_exponential.h"
#include "enhancement/reconstruction.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

// NextOrLast, compiled for this target: the shared inline one would be
// instantiated here with external linkage.
constexpr int32_t NextOrLast(int32_t i, int32_t count) { return i + 1 < count ? i + 1 : count - 1; }

#if defined(__AVX512F__) && defined(__AVX512VL__) && defined(__AVX512BW__)
#define TAVRIX_FINAL_PIXEL_LANES_512
// FinalPixelLanes for eight lanes with what only the widest instruction set
// has: scaling by 2^k in one step, comparisons into mask registers and a
// narrowing store. Same bound, same margin, same fall-back.
// The compiler's own headers leave the pass-through operand of unmasked
// operations undefined on purpose, which it then reports.
#pragma GCC diagnostic push
#if !defined(__clang__)  // a GCC-only warning
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
inline void FinalPixelLanes512(__m512d v, const float* logValues, uint16_t* out, double offset) {
  constexpr double kReach = 20.0;
  constexpr double kUnsure = 1e-5;
  constexpr double kMaxPixel = 16383.0;
  const __m512d x = _mm512_add_pd(_mm512_add_pd(v, _mm512_cvtps_pd(_mm256_loadu_ps(logValues))),
                                  _mm512_set1_pd(offset));
  const __m512d reached = _mm512_min_pd(_mm512_max_pd(x, _mm512_set1_pd(-kReach)),
                                        _mm512_set1_pd(kReach));
  // e^x as in ExpLanes: x = k ln 2 + r, the degree-9 polynomial, times 2^k.
  // Every processor with these instructions fuses multiply and add, and a
  // fused step rounds once where the pair rounds twice: the reduction and the
  // Horner steps stay within ExpLanes' bound, in fewer instructions.
  const __m512d k = _mm512_roundscale_pd(_mm512_mul_pd(reached, _mm512_set1_pd(1.4426950408889634)),
                                         _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m512d r = _mm512_fnmadd_pd(k, _mm512_set1_pd(1.90821492927058770002e-10),
                                     _mm512_fnmadd_pd(k, _mm512_set1_pd(0.693147180369123816490), reached));
  __m512d p = _mm512_set1_pd(kExpTaylor[0]);
  for (int32_t i = 1; i < kExpTaylorTerms; ++i) p = _mm512_fmadd_pd(p, r, _mm512_set1_pd(kExpTaylor[i]));
  const __m512d z = _mm512_sub_pd(_mm512_scalef_pd(p, k), _mm512_set1_pd(1.0));
  const __m512d clamped =
      _mm512_min_pd(_mm512_max_pd(z, _mm512_setzero_pd()), _mm512_set1_pd(kMaxPixel));
  const __m256i whole = _mm512_cvttpd_epi32(clamped);
  const __m512d pixel = _mm512_cvtepi32_pd(whole);
  const __m512d fraction = _mm512_sub_pd(z, pixel);
  const __mmask8 nearBelow = _mm512_mask_cmp_pd_mask(
      _mm512_cmp_pd_mask(pixel, _mm512_set1_pd(0.5), _CMP_GT_OQ), fraction,
      _mm512_set1_pd(kUnsure), _CMP_LT_OQ);
  const __mmask8 nearAbove = _mm512_mask_cmp_pd_mask(
      _mm512_cmp_pd_mask(pixel, _mm512_set1_pd(kMaxPixel - 0.5), _CMP_LT_OQ), fraction,
      _mm512_set1_pd(1.0 - kUnsure), _CMP_GT_OQ);
  const __mmask8 unsure = nearBelow | nearAbove | _mm512_cmp_pd_mask(x, x, _CMP_UNORD_Q);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvtepi32_epi16(whole));
  if (unsure) {
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, v);
    for (int32_t i = 0; i < 8; ++i)
      if (unsure & (1u << i)) out[i] = FinalPixel(lanes[i], logValues[i], offset);
  }
}
#pragma GCC diagnostic pop
#endif

// The last level's pixels for the interpolated corrections v of N outputs in a
// row. A lane keeps the fast exponential's pixel unless its e^x - 1 lies
// within kUnsure of an integer that decides the pixel (1 to 16383): up to
// e^x = 16385 the lane's error is below 2.5e-7 and the plain exponential's own
// below 1e-11, so elsewhere both truncate and clamp alike. The few unsure
// lanes, and any lane that is not a number, take FinalPixel.
template <int N>
TAVRIX_KERNEL_INLINE void FinalPixelLanes(typename Lanes<N>::Double v, const float* logValues, uint16_t* out,
                                          double offset) {
#ifdef TAVRIX_FINAL_PIXEL_LANES_512
  if constexpr (N == 8) {
    FinalPixelLanes512(v, logValues, out, offset);
    return;
  }
#endif
  using L = Lanes<N>;
  using Double = typename L::Double;
  using Long = typename L::Long;
  constexpr double kReach = 20.0;  // e^20 - 1 is far above the largest pixel, e^-20 - 1 below 0
  constexpr double kUnsure = 1e-5;
  constexpr double kMaxPixel = 16383.0;
  const Double zero = {};
  const Double x = (v + L::LoadFloats(logValues)) + offset;
  static_assert(N == kDoubleLanes, "the clamps work on whole registers");
  const Double reached = ClampDoubles(x, zero - kReach, zero + kReach);
  const Double z = ExpLanes<N>(reached) - 1.0;
  const Double clamped = ClampDoubles(z, zero, zero + kMaxPixel);
  const Double pixel = L::Truncated(clamped);
  const Double fraction = z - pixel;
  const Long unsure = (x != x) | ((fraction < kUnsure) & (pixel > 0.5)) |
                      ((fraction > 1.0 - kUnsure) & (pixel < kMaxPixel - 0.5));
  L::StoreSamples(out, pixel);
  if (L::AnyTrue(unsure)) {
    for (int32_t i = 0; i < N; ++i)
      if (unsure[i]) out[i] = FinalPixel(v[i], logValues[i], offset);
  }
}


// Output columns 2m and 2m + 1 come from source columns m and m + 1 for N
// values of m at once, in the plain sums, then interleaved into output order.
template <int N>
void UpsampleLevelLanes(const float* source, float* plane, int32_t stride, int32_t columns,
                        int32_t rows, const FinalOutput& output, bool last) {
  using L = Lanes<N>;
  using Double = typename L::Double;
  constexpr int32_t kPrefetchAhead = 1024;  // floats
  const auto order = std::make_index_sequence<N>();
  const double offset = FinalOffset(output.strength);

  for (int32_t r = 0; r < 2 * rows; ++r) {
    const int32_t r0 = r / 2;
    const int32_t r1 = NextOrLast(r0, rows);
    const float* a = source + ptrdiff_t(r0) * stride;
    const float* b = source + ptrdiff_t(r1) * stride;
    const ptrdiff_t rowStart = ptrdiff_t(r) * stride;
    auto store = [&](int32_t c, Double v) {
      if (last) {
        // The log image streams by once; ask for it ahead of the lanes. The
        // address may lie past the plane, so it is formed as an integer.
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(output.logImage + rowStart + c) +
                                                         kPrefetchAhead * sizeof(float)));
        FinalPixelLanes<N>(v, output.logImage + rowStart + c, output.image + rowStart + c, offset);
      }
      else
        L::StoreFloats(plane + rowStart + c, v);
    };
    int32_t m = 0;
    for (; m + N + 1 <= columns; m += N) {  // column m + N is still in the block
      const Double a0 = L::LoadFloats(a + m), a1 = L::LoadFloats(a + m + 1);
      Double even, odd;
      if (r % 2 == 0) {
        even = a0;
        odd = (a0 + a1) * 0.5;
      } else {
        const Double b0 = L::LoadFloats(b + m), b1 = L::LoadFloats(b + m + 1);
        even = (a0 + b0) * 0.5;
        odd = (a0 + a1 + b0 + b1) * 0.25;
      }
      store(2 * m, InterleaveLow<N>(even, odd, order));
      store(2 * m + N, InterleaveHigh<N>(even, odd, order));
    }
    for (int32_t c = 2 * m; c < 2 * columns; ++c) {  // the plain outputs
      const double v = InterpolatedSample(source, stride, columns, rows, r, c);
      if (last)
        output.image[rowStart + c] = FinalPixel(v, output.logImage[rowStart + c], offset);
      else
        plane[rowStart + c] = float(v);
    }
  }
}

}  // namespace

void UpsampleLevel(const float* source, float* plane, int32_t stride, int32_t columns,
                   int32_t rows, const FinalOutput& output, bool last) {
  UpsampleLevelLanes<kDoubleLanes>(source, plane, stride, columns, rows, output, last);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
