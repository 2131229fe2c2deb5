// A group is two halves of eight 256-bit registers: lane q of register j in
// half h holds the words of the line for column 16h + 8q + j. Each row's two
// results are streamed one after the other, filling its cache line.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "acquisition/read_frame_fast.h"
#include "acquisition/read_frame_groups.h"

namespace tavrix {
namespace {

constexpr int32_t kHalves = 2;
constexpr int32_t kHalfColumns = kGroupColumns / kHalves;

// Per 128-bit lane: row i of the result holds element i of every input row.
void TransposeLanes(__m256i v[kGroupWords]) {
  __m256i a[kGroupWords], b[kGroupWords];
  for (int32_t i = 0; i < kGroupWords; i += 2) {
    a[i / 2] = _mm256_unpacklo_epi16(v[i], v[i + 1]);
    a[kGroupWords / 2 + i / 2] = _mm256_unpackhi_epi16(v[i], v[i + 1]);
  }
  for (int32_t h = 0; h < kGroupWords; h += kGroupWords / 2) {
    b[h + 0] = _mm256_unpacklo_epi32(a[h + 0], a[h + 1]);
    b[h + 1] = _mm256_unpackhi_epi32(a[h + 0], a[h + 1]);
    b[h + 2] = _mm256_unpacklo_epi32(a[h + 2], a[h + 3]);
    b[h + 3] = _mm256_unpackhi_epi32(a[h + 2], a[h + 3]);
  }
  for (int32_t e = 0; e < kGroupWords / 2; ++e) {
    const int32_t h = (e / 2) * (kGroupWords / 2) + (e % 2);
    v[2 * e] = _mm256_unpacklo_epi64(b[h], b[h + 2]);
    v[2 * e + 1] = _mm256_unpackhi_epi64(b[h], b[h + 2]);
  }
}

template <class SlotAt>
void LoadHalf(SlotAt slotAt, int32_t half, __m256i v[kGroupWords]) {
  const int32_t base = half * kHalfColumns;
  for (int32_t j = 0; j < kGroupWords; ++j) {
    const __m256i low =
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(base + j))));
    v[j] = _mm256_inserti128_si256(
        low, _mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(base + kGroupWords + j))), 1);
  }
}

struct Avx2Kernel {
  template <ptrdiff_t kSlotStep>
  static void Stream(const uint8_t* slot0, uint16_t* row0, ptrdiff_t rowStep) {
    __m256i v[kHalves][kGroupWords];
    for (int32_t h = 0; h < kHalves; ++h) {
      LoadHalf([&](int32_t i) { return slot0 + i * kSlotStep; }, h, v[h]);
      TransposeLanes(v[h]);
    }
    for (int32_t k = 0; k < kGroupWords; ++k)
      for (int32_t h = 0; h < kHalves; ++h)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(row0 + k * rowStep + h * kHalfColumns), v[h][k]);
  }
  static void Place(const uint8_t* const slots[kGroupColumns], uint16_t* row0, int32_t column, ptrdiff_t rowStep,
                    GroupSpan span) {
    alignas(kCacheLineBytes) GroupBlock out;
    for (int32_t h = 0; h < kHalves; ++h) {
      __m256i v[kGroupWords];
      LoadHalf([&](int32_t i) { return slots[i]; }, h, v);
      TransposeLanes(v);
      for (int32_t k = 0; k < kGroupWords; ++k)
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[k] + h * kHalfColumns), v[k]);
    }
    WriteSpan(out, row0, column, rowStep, span);
  }
  static void Finish() { _mm_sfence(); }
};

}  // namespace

void UnscrambleFrameAvx2(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleByGroups<Avx2Kernel>(rawFrame, image, width, height);
}

}  // namespace tavrix
