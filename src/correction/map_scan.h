// Finds the next pixel-map byte of interest sixteen bytes at a time: the
// map-driven steps touch only the few pixels the map marks. Baseline (SSE2)
// code only.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace tavrix {

// First index in from..end-1 whose byte equals `value` (or, with
// kAnyNonzero, differs from 0); end if there is none.
enum class MapMatch { kEquals, kAnyNonzero };

template <MapMatch kMatch>
int32_t FindInMapRow(const uint8_t* bytes, int32_t from, int32_t end, uint8_t value = 0) {
  constexpr int32_t kLanes = 16;
  const __m128i target = _mm_set1_epi8(char(value));
  for (; from + kLanes <= end; from += kLanes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    const int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(v, target));
    const int found = kMatch == MapMatch::kEquals ? equal : ~equal & 0xFFFF;
    if (found != 0) return from + __builtin_ctz(unsigned(found));
  }
  for (; from < end; ++from)
    if (kMatch == MapMatch::kEquals ? bytes[from] == value : bytes[from] != value) return from;
  return end;
}

}  // namespace tavrix
