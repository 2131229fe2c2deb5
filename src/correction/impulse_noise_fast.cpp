#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "correction/impulse_noise.h"
#include "correction/impulse_noise_fast.h"
#include "platform/instruction_set.h"

namespace tavrix {

// What makes it fast: whole runs of a row are tested at once in vector
// lanes, and only the rare pixels that may be outliers, plus the two after
// each replacement (whose windows it changed), take the exact test in order.
// The baseline first bounds each deviation sum from the window's three middle
// rows and reads the other two only for the few vectors that bound cannot clear.
//
// The vector test is exact in integers. With S the window sum:
// - m = ceil(S/25) - 1 is trunc((S - 0.5) * 0.04f) in single precision:
//   (S - 0.5)/25 lies at least 0.02 from an integer, the float error is
//   below 0.006.
// - D = sum |p - m| = (S - 25m) + 2 * sum max(m - p, 0), in saturating 16-bit
//   lanes; D >= 65535 (saturated) sends the pixel to the exact test.
// - The band is hi = m + t and lo = m - t - 1 (no lower limit when m <= t),
//   t = floor(2D/5), which for D < 65536 is mulhi(D, 52429) >> 1.

namespace {

// Next nonzero mark at or after i, eight marks at a time.
int32_t NextMark(const uint8_t* marks, int32_t i, int32_t count) {
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, marks + i, sizeof word);
    if (word != 0) return i + __builtin_ctzll(word) / 8;  // marks are 0 or 0xFF
  }
  while (i < count && marks[i] == 0) ++i;
  return i;
}

// Asks for pixels to be brought into the cache ahead of use, one cache line at a time.
void PrefetchPixels(const uint16_t* pixels, int32_t count) {
  constexpr int32_t kLinePixels = 64 / sizeof(uint16_t);
  for (int32_t i = 0; i < count; i += kLinePixels)
    _mm_prefetch(reinterpret_cast<const char*>(pixels + i), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(pixels + count - 1), _MM_HINT_T0);
}

void FilterImpulseRows(uint16_t* image, int32_t width, int32_t height, ImpulseMarkFunction mark, int32_t lanes) {
  const int32_t first = kImpulseFirstTested;
  const int32_t last = width - 1 - kImpulseWindowReach;
  uint8_t marks[kImpulseMarkRun];
  for (int32_t y = kImpulseFirstTested; y <= height - 1 - kImpulseWindowReach; ++y) {
    if (last + 1 - first < lanes) {
      for (int32_t x = first; x <= last; ++x) FilterImpulseNoiseAt(image, width, y, x);
      continue;
    }
    for (int32_t start = first; start <= last;) {
      // Every run holds at least one vector's worth of pixels.
      const int32_t remaining = last + 1 - start;
      const int32_t count = remaining <= kImpulseMarkRun ? remaining
                            : remaining - kImpulseMarkRun < lanes ? remaining - lanes
                                                                  : kImpulseMarkRun;
      // The row that the next row's windows add is fetched while this one is worked on.
      if (y + kImpulseWindowReach + 1 < height)
        PrefetchPixels(image + size_t(y + kImpulseWindowReach + 1) * width + start - kImpulseWindowReach,
                       count + 2 * kImpulseWindowReach);
      // Marked from the image as it is now: everything left of `start` is final.
      mark(image, width, y, start, count, marks);
      // A replacement changes the windows of the next two pixels: they are
      // tested exactly whatever their marks say. Pixels beyond this run are
      // marked afresh by the next call.
      int32_t exactUntil = -1;
      for (int32_t i = NextMark(marks, 0, count); i < count;) {
        if (FilterImpulseNoiseAt(image, width, y, start + i)) exactUntil = i + kImpulseWindowReach;
        ++i;
        if (i > exactUntil) i = NextMark(marks, i, count);
      }
      start += count;
    }
  }
}

}  // namespace

void MarkImpulseCandidatesSse2(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                               uint8_t* marks) {
  constexpr int32_t kLanes = kImpulseLanesSse2;
  constexpr int32_t kSpan = 2 * kImpulseWindowReach + 1;
  // The three middle rows of the window screen the pixels (see below).
  constexpr int32_t kScreenFirstRow = kImpulseWindowReach - 1, kScreenLastRow = kImpulseWindowReach + 1;
  const uint16_t* rows[kSpan];
  for (int32_t r = 0; r < kSpan; ++r) rows[r] = image + size_t(y - kImpulseWindowReach + r) * width;

  // Column sums of the five rows, for columns first - 2 .. first + count + 1.
  int32_t columnSums[kImpulseMarkRun + kSpan];
  const int32_t columns = count + kSpan - 1;
  const __m128i zero = _mm_setzero_si128();
  for (int32_t j = 0;; j += kLanes) {
    if (j + kLanes > columns) j = columns - kLanes;  // overlap the last vector
    const int32_t c = first - kImpulseWindowReach + j;
    __m128i low = zero, high = zero;
    for (int32_t r = 0; r < kSpan; ++r) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c));
      low = _mm_add_epi32(low, _mm_unpacklo_epi16(v, zero));
      high = _mm_add_epi32(high, _mm_unpackhi_epi16(v, zero));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(columnSums + j), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(columnSums + j + 4), high);
    if (j + kLanes == columns) break;
  }

  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 meanFactor = _mm_set1_ps(0.04f);
  const __m128i bias32 = _mm_set1_epi32(0x8000);
  const __m128i bias16 = _mm_set1_epi16(int16_t(0x8000));
  const __m128i one = _mm_set1_epi16(1);
  const __m128i allOnes = _mm_set1_epi16(-1);
  const __m128i twoFifths = _mm_set1_epi16(int16_t(52429));
  auto windowSum = [&](int32_t i) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columnSums + i));
    for (int32_t d = 1; d < kSpan; ++d)
      s = _mm_add_epi32(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(columnSums + i + d)));
    return s;
  };
  auto mean = [&](__m128i s) {
    return _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(_mm_cvtepi32_ps(s), half), meanFactor));
  };
  auto times25 = [](__m128i m) {
    return _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(m, 4), _mm_slli_epi32(m, 3)), m);
  };
  for (int32_t i = 0;; i += kLanes) {
    if (i + kLanes > count) i = count - kLanes;
    const int32_t x = first + i;
    const __m128i s0 = windowSum(i), s1 = windowSum(i + 4);
    const __m128i m0 = mean(s0), m1 = mean(s1);
    // Signed packing of m - 32768, then the bias back: m reaches 65534.
    const __m128i m = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(m0, bias32), _mm_sub_epi32(m1, bias32)), bias16);
    const __m128i rest = _mm_packs_epi32(_mm_sub_epi32(s0, times25(m0)), _mm_sub_epi32(s1, times25(m1)));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[kImpulseWindowReach] + x));
    // Whether v lies inside the band of a deviation sum (a zero lane where it does not).
    auto insideBand = [&](__m128i deviation) {
      const __m128i t = _mm_srli_epi16(_mm_mulhi_epu16(deviation, twoFifths), 1);
      const __m128i hi = _mm_adds_epu16(m, t);
      const __m128i lo = _mm_subs_epu16(m, _mm_add_epi16(t, one));
      const __m128i beyond = _mm_or_si128(_mm_subs_epu16(v, hi), _mm_subs_epu16(lo, v));
      return _mm_cmpeq_epi16(beyond, zero);
    };
    auto addBelow = [&](__m128i below, int32_t r) {
      for (int32_t d = 0; d < kSpan; ++d) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + x - kImpulseWindowReach + d));
        below = _mm_adds_epu16(below, _mm_subs_epu16(m, p));
      }
      return below;
    };
    // The terms of D are never negative, so the screening rows alone give a
    // lower bound of D, a band no wider than the true one, and a pixel inside
    // it is certainly inside (a saturated sum is still a lower bound).
    __m128i below = zero;
    for (int32_t r = kScreenFirstRow; r <= kScreenLastRow; ++r) below = addBelow(below, r);
    __m128i inside = insideBand(_mm_adds_epu16(_mm_adds_epu16(below, below), rest));
    if (_mm_movemask_epi8(inside) != 0xFFFF) {
      // The other rows complete D; saturating sums of terms that are never
      // negative do not depend on their order.
      for (int32_t r = 0; r < kSpan; ++r)
        if (r < kScreenFirstRow || r > kScreenLastRow) below = addBelow(below, r);
      const __m128i deviation = _mm_adds_epu16(_mm_adds_epu16(below, below), rest);
      inside = _mm_andnot_si128(_mm_cmpeq_epi16(deviation, allOnes), insideBand(deviation));
    }
    const __m128i marked = _mm_xor_si128(inside, allOnes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(marks + i), _mm_packs_epi16(marked, marked));
    if (i + kLanes == count) break;
  }
}

void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height) {
  switch (ActiveInstructionSet()) {
    case InstructionSet::kAvx512:
      FilterImpulseRows(image, width, height, MarkImpulseCandidatesAvx512, kImpulseLanesAvx512);
      return;
    case InstructionSet::kAvx2:
      FilterImpulseRows(image, width, height, MarkImpulseCandidatesAvx2, kImpulseLanesAvx2);
      return;
    case InstructionSet::kBaseline:
      break;
  }
  FilterImpulseRows(image, width, height, MarkImpulseCandidatesSse2, kImpulseLanesSse2);
}

}  // namespace tavrix
