// Sixteen pixels at a time; the arithmetic is that of the baseline marking
// (see impulse_noise_fast.cpp). Only declarations are included here, so no
// shared inline code is compiled with AVX2.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "correction/impulse_noise.h"
#include "correction/impulse_noise_fast.h"

namespace tavrix {

void MarkImpulseCandidatesAvx2(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                               uint8_t* marks) {
  constexpr int32_t kLanes = kImpulseLanesAvx2;
  constexpr int32_t kHalfLanes = kLanes / 2;
  constexpr int32_t kSpan = 2 * kImpulseWindowReach + 1;
  const uint16_t* rows[kSpan];
  for (int32_t r = 0; r < kSpan; ++r) rows[r] = image + size_t(y - kImpulseWindowReach + r) * width;

  int32_t columnSums[kImpulseMarkRun + kSpan];
  const int32_t columns = count + kSpan - 1;
  for (int32_t j = 0;; j += kHalfLanes) {
    if (j + kHalfLanes > columns) j = columns - kHalfLanes;
    const int32_t c = first - kImpulseWindowReach + j;
    __m256i sum = _mm256_setzero_si256();
    for (int32_t r = 0; r < kSpan; ++r)
      sum = _mm256_add_epi32(
          sum, _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(columnSums + j), sum);
    if (j + kHalfLanes == columns) break;
  }

  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256 meanFactor = _mm256_set1_ps(0.04f);
  const __m256i twentyFive = _mm256_set1_epi32(25);
  const __m256i one = _mm256_set1_epi16(1);
  const __m256i allOnes = _mm256_set1_epi16(-1);
  const __m256i twoFifths = _mm256_set1_epi16(int16_t(52429));
  const __m256i zero = _mm256_setzero_si256();
  auto windowSum = [&](int32_t i) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columnSums + i));
    for (int32_t d = 1; d < kSpan; ++d)
      s = _mm256_add_epi32(s, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columnSums + i + d)));
    return s;
  };
  auto mean = [&](__m256i s) {
    return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(s), half), meanFactor));
  };
  // Unsigned packing works per 128-bit half; the permutation restores pixel order.
  auto pack = [](__m256i a, __m256i b) { return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8); };
  for (int32_t i = 0;; i += kLanes) {
    if (i + kLanes > count) i = count - kLanes;
    const int32_t x = first + i;
    const __m256i s0 = windowSum(i), s1 = windowSum(i + kHalfLanes);
    const __m256i m0 = mean(s0), m1 = mean(s1);
    const __m256i m = pack(m0, m1);
    const __m256i rest =
        pack(_mm256_sub_epi32(s0, _mm256_mullo_epi32(m0, twentyFive)), _mm256_sub_epi32(s1, _mm256_mullo_epi32(m1, twentyFive)));
    __m256i below = zero;
    for (int32_t r = 0; r < kSpan; ++r)
      for (int32_t d = 0; d < kSpan; ++d) {
        const __m256i p =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + x - kImpulseWindowReach + d));
        below = _mm256_adds_epu16(below, _mm256_subs_epu16(m, p));
      }
    const __m256i deviation = _mm256_adds_epu16(_mm256_adds_epu16(below, below), rest);
    const __m256i t = _mm256_srli_epi16(_mm256_mulhi_epu16(deviation, twoFifths), 1);
    const __m256i hi = _mm256_adds_epu16(m, t);
    const __m256i lo = _mm256_subs_epu16(m, _mm256_add_epi16(t, one));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[kImpulseWindowReach] + x));
    const __m256i beyond = _mm256_or_si256(_mm256_subs_epu16(v, hi), _mm256_subs_epu16(lo, v));
    const __m256i inside = _mm256_andnot_si256(_mm256_cmpeq_epi16(deviation, allOnes), _mm256_cmpeq_epi16(beyond, zero));
    const __m256i marked = _mm256_xor_si256(inside, allOnes);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(marked, marked), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(marks + i), _mm256_castsi256_si128(bytes));
    if (i + kLanes == count) break;
  }
}

}  // namespace tavrix
