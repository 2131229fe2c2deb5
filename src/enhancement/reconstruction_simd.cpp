// The fast enlargement, written once and compiled per target: many source
// columns per register, and at the last level an exponential in the lanes
// that falls back to the plain one wherever the truncated pixel could come
// out differently.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
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
template <int K>
TAVRIX_KERNEL_INLINE void FinalPixelLanes512(const __m512d (&v)[K], const float* logValues, uint16_t* out,
                                             double offset) {
  constexpr double kReach = 20.0;
  alignas(64) constexpr double kEighths[8] = {kExpTable[0],  kExpTable[8],  kExpTable[16], kExpTable[24],
                                              kExpTable[32], kExpTable[40], kExpTable[48], kExpTable[56]};
  const __m512d eighths = _mm512_load_pd(kEighths);
  __m512d reached[K], steps[K], p[K];
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    const __m512d x = _mm512_add_pd(_mm512_add_pd(v[i], _mm512_cvtps_pd(_mm256_loadu_ps(logValues + 8 * i))),
                                    _mm512_set1_pd(offset));
    reached[i] = _mm512_min_pd(_mm512_max_pd(x, _mm512_set1_pd(-kReach)), _mm512_set1_pd(kReach));
    // e^x as in ExpLanes: x = (64 k + j) ln 2 / 64 + r, the degree-3
    // polynomial, times 2^(j/64) and 2^k. Every processor with these
    // instructions fuses multiply and add, and a fused step rounds once where
    // the pair rounds twice: the reduction and the Horner steps stay within
    // ExpLanes' bound, in fewer instructions.
    steps[i] = _mm512_roundscale_pd(_mm512_mul_pd(reached[i], _mm512_set1_pd(kExpStepsPerUnit)),
                                    _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    reached[i] = _mm512_fnmadd_pd(steps[i], _mm512_set1_pd(kExpStepLow),
                                  _mm512_fnmadd_pd(steps[i], _mm512_set1_pd(kExpStepHigh), reached[i]));
    p[i] = _mm512_fmadd_pd(reached[i], _mm512_set1_pd(kExpTaylor[0]), _mm512_set1_pd(kExpTaylor[1]));
  }
  for (int32_t t = 2; t < kExpTaylorTerms; ++t) {
#pragma GCC unroll 16
    for (int i = 0; i < K; ++i) p[i] = _mm512_fmadd_pd(p[i], reached[i], _mm512_set1_pd(kExpTaylor[t]));
    HoldInRegisters(p);
  }
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    // j = 8 a + b: 2^(j/64) is 2^(a/8) 2^(b/64), each from a register that
    // holds all eight (a gather of the table's entry is slower). The
    // permutations read the three low bits of each lane's index.
    const __m512i index = _mm512_cvtpd_epi64(steps[i]);
    const __m512d entry = _mm512_mul_pd(_mm512_permutexvar_pd(_mm512_srli_epi64(index, 3), eighths),
                                        _mm512_permutexvar_pd(index, _mm512_load_pd(kExpTable)));
    // Scaling takes the power's whole part: 2^k for steps / 64 = k + j / 64.
    const __m512d z = _mm512_sub_pd(
        _mm512_scalef_pd(_mm512_mul_pd(p[i], entry), _mm512_mul_pd(steps[i], _mm512_set1_pd(1.0 / kExpTableSize))),
        _mm512_set1_pd(1.0));
    // As UnsurePixelLanes, into a mask register.
    const __m512d clamped =
        _mm512_min_pd(_mm512_max_pd(z, _mm512_set1_pd(0.5)), _mm512_set1_pd(kLargestPixel + 0.5));
    const __m256i whole = _mm512_cvttpd_epi32(clamped);
    const __m512d fraction = _mm512_reduce_pd(clamped, _MM_FROUND_TO_ZERO);  // less its whole part
    const __mmask8 unsure = _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(kPixelUnsure), _CMP_LT_OQ) |
                            _mm512_cmp_pd_mask(fraction, _mm512_set1_pd(1.0 - kPixelUnsure), _CMP_GT_OQ);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), _mm256_cvtepi32_epi16(whole));
    if (unsure) {
      alignas(64) double lanes[8];
      _mm512_store_pd(lanes, v[i]);
      for (int32_t l = 0; l < 8; ++l)
        if (unsure & (1u << l)) out[8 * i + l] = FinalPixel(lanes[l], logValues[8 * i + l], offset);
    }
  }
}
#pragma GCC diagnostic pop
#endif

// The last level's pixels for the interpolated corrections v of N outputs in a
// row; the few lanes UnsurePixelLanes names take FinalPixel.
template <int N, int K>
TAVRIX_KERNEL_INLINE void FinalPixelLanes(const typename Lanes<N>::Double (&v)[K], const float* logValues,
                                          uint16_t* out, double offset) {
#ifdef TAVRIX_FINAL_PIXEL_LANES_512
  if constexpr (N == 8) {
    __m512d native[K];
    for (int i = 0; i < K; ++i) native[i] = __m512d(v[i]);
    FinalPixelLanes512(native, logValues, out, offset);
    return;
  }
#endif
  using L = Lanes<N>;
  using Double = typename L::Double;
  constexpr double kReach = 20.0;  // e^20 - 1 is far above the largest pixel, e^-20 - 1 below 0
  const Double zero = {};
  static_assert(N == kDoubleLanes, "the clamps work on whole registers");
  static_assert(N * K <= 64, "a bit per lane");
  // A 32-bit process works a 64-bit word out in pairs of registers it lacks.
  using UnsureBits = std::conditional_t<N * K <= 32, uint32_t, uint64_t>;
  Double z[K];
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i)  // NaN becomes -kReach, whose pixel (0) is the plain one's too
    z[i] = ClampDoubles((v[i] + L::LoadFloats(logValues + N * i)) + offset, zero - kReach, zero + kReach);
  ExpLanes<N, K>(z);
  UnsureBits unsure = 0;  // bit N i + l for lane l of register i
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    Double pixel;
    unsure |= UnsureBits(L::MaskBits(UnsurePixelLanes<N>(z[i] - 1.0, pixel))) << (N * i);
    L::StoreSamples(out + N * i, pixel);
  }
  if (unsure != 0) {
    for (int32_t c = 0; c < N * K; ++c)
      if (unsure >> c & 1u) out[c] = FinalPixel(v[c / N][c % N], logValues[c], offset);
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
  // Blocks of a step, two registers of outputs each, their exponentials in
  // step: registers in flight for half the register file (a quarter for the
  // widest, whose exponential keeps more of its own). With eight registers (a
  // 32-bit process) the rest waits in memory, and the processor waits on the
  // chains unless there are enough of them: sixteen for two lanes, eight for
  // four, four for eight. Measured: two lanes with 8, 12 or 24 chains, and
  // four with 16, were slower.
  constexpr int32_t kStepBlocks =
      kFewVectorRegisters ? (N == 8 ? 2 : N == 2 ? 8 : kVectorRegisters / 2)
                          : Larger(1, N == 8 ? kVectorRegisters / 8 : kVectorRegisters / 4);
  const auto order = std::make_index_sequence<N>();
  const double offset = FinalOffset(output.strength);

  for (int32_t r = 0; r < 2 * rows; ++r) {
    const int32_t r0 = r / 2;
    const int32_t r1 = NextOrLast(r0, rows);
    const float* a = source + ptrdiff_t(r0) * stride;
    const float* b = source + ptrdiff_t(r1) * stride;
    const ptrdiff_t rowStart = ptrdiff_t(r) * stride;
    // kBlocks blocks of N source columns from m on: 2 kBlocks registers of
    // outputs, the last level's worked out in step. Melted into the loops: a
    // call for every few dozen pixels reloads what the closure holds.
    auto blocks = [&](int32_t m, auto blockCount) __attribute__((always_inline)) {
      constexpr int32_t kBlocks = decltype(blockCount)::value;
      Double outputs[2 * kBlocks];
#pragma GCC unroll 8
      for (int32_t u = 0; u < kBlocks; ++u) {
        const int32_t at = m + u * N;
        const Double a0 = L::LoadFloats(a + at), a1 = L::LoadFloats(a + at + 1);
        Double even, odd;
        if (r % 2 == 0) {
          even = a0;
          odd = (a0 + a1) * 0.5;
        } else {
          const Double b0 = L::LoadFloats(b + at), b1 = L::LoadFloats(b + at + 1);
          even = (a0 + b0) * 0.5;
          odd = (a0 + a1 + b0 + b1) * 0.25;
        }
        outputs[2 * u] = InterleaveLow<N>(even, odd, order);
        outputs[2 * u + 1] = InterleaveHigh<N>(even, odd, order);
      }
      const ptrdiff_t c = rowStart + 2 * m;
      if (last) {
        // The log image streams by once; ask for it ahead of the lanes. The
        // address may lie past the plane, so it is formed as an integer.
        for (int32_t u = 0; u < kBlocks; ++u)
          __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(output.logImage + c + 2 * N * u) +
                                                           kPrefetchAhead * sizeof(float)));
        FinalPixelLanes<N>(outputs, output.logImage + c, output.image + c, offset);
      } else {
        for (int32_t k = 0; k < 2 * kBlocks; ++k) L::StoreFloats(plane + c + k * N, outputs[k]);
      }
    };
    int32_t m = 0;  // column m + N of each block is still in the source block
    for (; m + kStepBlocks * N + 1 <= columns; m += kStepBlocks * N)
      blocks(m, std::integral_constant<int32_t, kStepBlocks>());
    for (; m + N + 1 <= columns; m += N) blocks(m, std::integral_constant<int32_t, 1>());
    // The columns left but the last: one more block, ending where they end,
    // makes some outputs again, the same values. The plain outputs take the C
    // library's exponential, some 70 ns a call in the 32-bit DLL, and the
    // widest path would leave it up to sixteen outputs a row.
    if (m + 1 < columns && columns >= N + 1) {
      blocks(columns - N - 1, std::integral_constant<int32_t, 1>());
      m = columns - 1;
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
