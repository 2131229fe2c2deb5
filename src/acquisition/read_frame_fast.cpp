#include <emmintrin.h>

#include <cstddef>

#include "acquisition/raw_frame_layout.h"
#include "acquisition/read_frame.h"
#include "acquisition/read_frame_fast.h"
#include "acquisition/read_frame_groups.h"
#include "detector/instruction_set.h"

namespace tavrix {

// What makes it fast: blocks of 8 raw lines by 8 words are moved with
// 16-byte loads and an in-register 8 x 8 transpose; four blocks fill a cache
// line of 8 image rows, which is streamed out whole (read_frame_groups.h).
// Widths whose rows do not start on a cache line take the same blocks in
// tiles of 256 raw lines with ordinary stores.
namespace {

constexpr int32_t kBlock = 8;        // raw lines and words of one transpose
constexpr int32_t kTileLines = 256;  // 512 bytes of each image row per tile
static_assert(kReadoutColumns % kTileLines == 0 && kRunLength % kBlock == 0, "blocks must cover the readout");

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

// Words start..start+7 of raw lines first..first+7, in increasing line order
// or, with `reversed`, decreasing.
inline Block LoadBlock(const uint8_t* rawFrame, int32_t first, int32_t start, bool reversed) {
  Block block;
  for (int32_t i = 0; i < kBlock; ++i) {
    const int32_t line = kFirstImageRawLine + first + (reversed ? kBlock - 1 - i : i);
    block.v[i] = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(rawFrame + (size_t(line) * kRawLineWords + size_t(start)) * 2));
  }
  return block;
}

// Row k of the block goes to image row firstRow + k * rowStep, from column `column` on.
inline void StoreBlock(const Block& block, uint16_t* image, int32_t width, int32_t firstRow, int32_t rowStep,
                       int32_t column) {
  for (int32_t k = 0; k < kBlock; ++k)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(image + size_t(firstRow + k * rowStep) * width + column), block.v[k]);
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

void UnscrambleByBlocks(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  for (int32_t tile = 0; tile < kReadoutColumns; tile += kTileLines) {
    for (int32_t t = 0; t < kRunLength; t += kBlock) {
      for (int32_t c = tile; c < tile + kTileLines; c += kBlock) {
        // Columns width-1-c run leftward as c grows: the lines go in reversed.
        const int32_t right = width - kBlock - c;
        StoreBlock(Transpose(LoadBlock(rawFrame, c, kRunAStart + t, true)), image, width, t, 1, right);
        StoreBlock(Transpose(LoadBlock(rawFrame, c, kRunBStart + t, true)), image, width, kRunLength + t, 1, right);
        StoreBlock(Transpose(LoadBlock(rawFrame, c, kRunCStart + t, false)), image, width, kRunLength - 1 - t, -1, c);
        StoreBlock(Transpose(LoadBlock(rawFrame, c, kRunDStart + t, false)), image, width, height - 1 - t, -1, c);
      }
    }
  }
}

}  // namespace

void UnscrambleFrameSse2(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleByGroups<Sse2Kernel>(rawFrame, image, width, height);
}

void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  if (size_t(width) * sizeof *image % kCacheLineBytes != 0) {
    UnscrambleByBlocks(rawFrame, image, width, height);
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
