// Thirty-two pixels at a time; the arithmetic is that of the baseline marking
// (see impulse_noise_fast.cpp). Only declarations are included here, so no
// shared inline code is compiled with AVX-512.
// GCC 12 warns about the deliberately undefined vectors inside its own
// AVX-512 conversion intrinsics.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC-only warning
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "correction/impulse_noise.h"
#include "correction/impulse_noise_fast.h"

namespace tavrix {

void MarkImpulseCandidatesAvx512(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                                 uint8_t* marks) {
  constexpr int32_t kLanes = kImpulseLanesAvx512;
  constexpr int32_t kHalfLanes = kLanes / 2;
  constexpr int32_t kSpan = 2 * kImpulseWindowReach + 1;
  const uint16_t* rows[kSpan];
  for (int32_t r = 0; r < kSpan; ++r) rows[r] = image + size_t(y - kImpulseWindowReach + r) * width;

  int32_t columnSums[kImpulseMarkRun + kSpan];
  const int32_t columns = count + kSpan - 1;
  for (int32_t j = 0;; j += kHalfLanes) {
    if (j + kHalfLanes > columns) j = columns - kHalfLanes;
    const int32_t c = first - kImpulseWindowReach + j;
    __m512i sum = _mm512_setzero_si512();
    for (int32_t r = 0; r < kSpan; ++r)
      sum = _mm512_add_epi32(
          sum, _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + c))));
    _mm512_storeu_si512(columnSums + j, sum);
    if (j + kHalfLanes == columns) break;
  }

  const __m512 half = _mm512_set1_ps(0.5f);
  const __m512 meanFactor = _mm512_set1_ps(0.04f);
  const __m512i twentyFive = _mm512_set1_epi32(25);
  const __m512i one = _mm512_set1_epi16(1);
  const __m512i twoFifths = _mm512_set1_epi16(int16_t(52429));
  auto windowSum = [&](int32_t i) {
    __m512i s = _mm512_loadu_si512(columnSums + i);
    for (int32_t d = 1; d < kSpan; ++d) s = _mm512_add_epi32(s, _mm512_loadu_si512(columnSums + i + d));
    return s;
  };
  auto mean = [&](__m512i s) {
    return _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_sub_ps(_mm512_cvtepi32_ps(s), half), meanFactor));
  };
  auto pack = [](__m512i a, __m512i b) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(a)), _mm512_cvtepi32_epi16(b), 1);
  };
  for (int32_t i = 0;; i += kLanes) {
    if (i + kLanes > count) i = count - kLanes;
    const int32_t x = first + i;
    const __m512i s0 = windowSum(i), s1 = windowSum(i + kHalfLanes);
    const __m512i m0 = mean(s0), m1 = mean(s1);
    const __m512i m = pack(m0, m1);
    const __m512i rest =
        pack(_mm512_sub_epi32(s0, _mm512_mullo_epi32(m0, twentyFive)), _mm512_sub_epi32(s1, _mm512_mullo_epi32(m1, twentyFive)));
    __m512i below = _mm512_setzero_si512();
    for (int32_t r = 0; r < kSpan; ++r)
      for (int32_t d = 0; d < kSpan; ++d) {
        const __m512i p = _mm512_loadu_si512(rows[r] + x - kImpulseWindowReach + d);
        below = _mm512_adds_epu16(below, _mm512_subs_epu16(m, p));
      }
    const __m512i deviation = _mm512_adds_epu16(_mm512_adds_epu16(below, below), rest);
    const __m512i t = _mm512_srli_epi16(_mm512_mulhi_epu16(deviation, twoFifths), 1);
    const __m512i hi = _mm512_adds_epu16(m, t);
    const __m512i lo = _mm512_subs_epu16(m, _mm512_add_epi16(t, one));
    const __m512i v = _mm512_loadu_si512(rows[kImpulseWindowReach] + x);
    const __mmask32 marked = _mm512_cmpgt_epu16_mask(v, hi) | _mm512_cmplt_epu16_mask(v, lo) |
                             _mm512_cmpeq_epi16_mask(deviation, _mm512_set1_epi16(-1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(marks + i), _mm256_movm_epi8(marked));
    if (i + kLanes == count) break;
  }
}

}  // namespace tavrix
