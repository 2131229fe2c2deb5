// A group is eight 512-bit registers: lane q of register j holds the words of
// the line for column 8q + j. The four lanes are transposed side by side, and
// each result is a whole cache line of an image row, streamed in one store.
// This compiler's 512-bit interleaves pass an undefined merge operand.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC-only warning
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "acquisition/read_frame_fast.h"
#include "acquisition/read_frame_groups.h"

namespace tavrix {
namespace {

constexpr int32_t kLanes = 4;

// Per 128-bit lane: row i of the result holds element i of every input row.
void TransposeLanes(__m512i v[kGroupWords]) {
  __m512i a[kGroupWords], b[kGroupWords];
  for (int32_t i = 0; i < kGroupWords; i += 2) {
    a[i / 2] = _mm512_unpacklo_epi16(v[i], v[i + 1]);
    a[kGroupWords / 2 + i / 2] = _mm512_unpackhi_epi16(v[i], v[i + 1]);
  }
  for (int32_t h = 0; h < kGroupWords; h += kGroupWords / 2) {
    b[h + 0] = _mm512_unpacklo_epi32(a[h + 0], a[h + 1]);
    b[h + 1] = _mm512_unpackhi_epi32(a[h + 0], a[h + 1]);
    b[h + 2] = _mm512_unpacklo_epi32(a[h + 2], a[h + 3]);
    b[h + 3] = _mm512_unpackhi_epi32(a[h + 2], a[h + 3]);
  }
  for (int32_t e = 0; e < kGroupWords / 2; ++e) {
    const int32_t h = (e / 2) * (kGroupWords / 2) + (e % 2);
    v[2 * e] = _mm512_unpacklo_epi64(b[h], b[h + 2]);
    v[2 * e + 1] = _mm512_unpackhi_epi64(b[h], b[h + 2]);
  }
}

template <class SlotAt>
void LoadGroup(SlotAt slotAt, __m512i v[kGroupWords]) {
  for (int32_t j = 0; j < kGroupWords; ++j) {
    __m512i r = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(j))));
    r = _mm512_inserti32x4(r, _mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(kGroupWords + j))), 1);
    r = _mm512_inserti32x4(r, _mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(2 * kGroupWords + j))), 2);
    r = _mm512_inserti32x4(r, _mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(3 * kGroupWords + j))), 3);
    v[j] = r;
  }
}
static_assert(kLanes * kGroupWords == kGroupColumns, "four lanes of eight words make a group");

struct Avx512Kernel {
  template <ptrdiff_t kSlotStep>
  static void Stream(const uint8_t* slot0, uint16_t* row0, ptrdiff_t rowStep) {
    __m512i v[kGroupWords];
    LoadGroup([&](int32_t i) { return slot0 + i * kSlotStep; }, v);
    TransposeLanes(v);
    for (int32_t k = 0; k < kGroupWords; ++k) _mm512_stream_si512(reinterpret_cast<__m512i*>(row0 + k * rowStep), v[k]);
  }
  // Masked stores: the words outside the span are neither read nor written.
  static void Place(const uint8_t* const slots[kGroupColumns], uint16_t* row0, int32_t column, ptrdiff_t rowStep,
                    GroupSpan span) {
    __m512i v[kGroupWords];
    LoadGroup([&](int32_t i) { return slots[i]; }, v);
    TransposeLanes(v);
    const __mmask32 mask = __mmask32((uint64_t(1) << span.to) - (uint64_t(1) << span.from));
    // The group's first column may lie before the buffer (the span never does),
    // so its address is formed as an integer.
    const uintptr_t first = reinterpret_cast<uintptr_t>(row0) + uintptr_t(intptr_t(column) * 2);
    for (int32_t k = 0; k < kGroupWords; ++k)
      _mm512_mask_storeu_epi16(reinterpret_cast<void*>(first + uintptr_t(k * rowStep * 2)), mask, v[k]);
  }
  static void Finish() { _mm_sfence(); }
};

}  // namespace

void UnscrambleFrameAvx512(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleByGroups<Avx512Kernel>(rawFrame, image, width, height);
}

}  // namespace tavrix
