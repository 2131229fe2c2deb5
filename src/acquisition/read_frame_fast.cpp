#include <emmintrin.h>

#include <cstddef>

#include "acquisition/raw_frame_layout.h"
#include "acquisition/read_frame.h"
#include "acquisition/read_frame_fast.h"
#include "acquisition/read_frame_groups.h"
#include "platform/instruction_set.h"

namespace tavrix {

// What makes it fast: blocks of 8 raw lines by 8 words are moved with
// 16-byte loads and an in-register 8 x 8 transpose; four blocks fill a cache
// line of 8 image rows, which is streamed out whole (read_frame_groups.h).
namespace {

constexpr int32_t kBlock = 8;  // raw lines and words of one transpose

struct Block {
  __m128i v[kBlock];
};

// Row i of the result holds element i of every input row, in input order.
inline Block Transpose(const Block& in) {
  __m128i a[kBlock], b[kBlock];
  for (int32_t i = 0; i < kBlock; i += 2) {
    a[i / 2] = _mm_unpacklo_epi16(in.v[i], in.v[i + 1]);
    a[kBlock / 2 + i / 2] = _mm_unpackhi_epi16(in.v[i], in.v[i + 1]);
  }
  // a[0..3]: elements 0..3 of row pairs (0,1) .. (6,7); a[4..7]: elements 4..7.
  for (int32_t h = 0; h < kBlock; h += kBlock / 2) {
    b[h + 0] = _mm_unpacklo_epi32(a[h + 0], a[h + 1]);
    b[h + 1] = _mm_unpackhi_epi32(a[h + 0], a[h + 1]);
    b[h + 2] = _mm_unpacklo_epi32(a[h + 2], a[h + 3]);
    b[h + 3] = _mm_unpackhi_epi32(a[h + 2], a[h + 3]);
  }
  // b[h + 0]: elements (e, e+1) of rows 0..3, b[h + 2]: of rows 4..7, e = 0, 2, 4, 6.
  Block out;
  for (int32_t e = 0; e < kBlock / 2; ++e) {
    const int32_t h = (e / 2) * (kBlock / 2) + (e % 2);
    out.v[2 * e] = _mm_unpacklo_epi64(b[h], b[h + 2]);
    out.v[2 * e + 1] = _mm_unpackhi_epi64(b[h], b[h + 2]);
  }
  return out;
}

constexpr int32_t kBlocksPerGroup = kGroupColumns / kBlock;

// Block q of a group: slots 8q..8q+7, transposed into columns 8q..8q+7.
template <class SlotAt>
void GatherBlocks(SlotAt slotAt, GroupBlock out) {
  for (int32_t q = 0; q < kBlocksPerGroup; ++q) {
    Block block;
    for (int32_t j = 0; j < kBlock; ++j)
      block.v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slotAt(q * kBlock + j)));
    const Block rows = Transpose(block);
    for (int32_t k = 0; k < kBlock; ++k)
      _mm_store_si128(reinterpret_cast<__m128i*>(out[k] + q * kBlock), rows.v[k]);
  }
}

struct Sse2Kernel {
  template <ptrdiff_t kSlotStep>
  static void Stream(const uint8_t* slot0, uint16_t* row0, ptrdiff_t rowStep) {
    alignas(kCacheLineBytes) GroupBlock block;
    GatherBlocks([&](int32_t i) { return slot0 + i * kSlotStep; }, block);
    // Each row's cache line is written by consecutive stores, so it leaves whole.
    for (int32_t k = 0; k < kBlock; ++k)
      for (int32_t q = 0; q < kBlocksPerGroup; ++q)
        _mm_stream_si128(reinterpret_cast<__m128i*>(row0 + k * rowStep + q * kBlock),
                         _mm_load_si128(reinterpret_cast<const __m128i*>(block[k] + q * kBlock)));
  }
  static void Place(const uint8_t* const slots[kGroupColumns], uint16_t* row0, int32_t column, ptrdiff_t rowStep,
                    GroupSpan span) {
    alignas(kCacheLineBytes) GroupBlock block;
    GatherBlocks([&](int32_t i) { return slots[i]; }, block);
    WriteSpan(block, row0, column, rowStep, span);
  }
  static void Finish() { _mm_sfence(); }
};

}  // namespace

void UnscrambleFrameSse2(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleByGroups<Sse2Kernel>(rawFrame, image, width, height);
}

void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  // The vector paths write whole cache lines of image rows, so rows must be a
  // multiple of 64 bytes long (the detector's are); other widths take the
  // plain copy.
  if (size_t(width) * sizeof *image % kCacheLineBytes != 0) {
    UnscrambleFramePlain(rawFrame, image, width, height);
    return;
  }
  switch (ActiveInstructionSet()) {
    case InstructionSet::kAvx512:
      UnscrambleFrameAvx512(rawFrame, image, width, height);
      break;
    case InstructionSet::kAvx2:
      UnscrambleFrameAvx2(rawFrame, image, width, height);
      break;
    default:
      UnscrambleFrameSse2(rawFrame, image, width, height);
      break;
  }
}

}  // namespace tavrix
