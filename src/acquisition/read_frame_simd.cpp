// The vector readout, written once and compiled per target. It moves groups
// of 32 raw lines by 8 words into 8 image rows by 32 columns: one 64-byte
// cache line of each row, which it writes whole with streaming stores, so the
// image lines are never read for ownership. Groups are placed on the image's
// cache lines; the partial groups at the edges of each half go through a
// scratch block and are written word by word.
//
// A group is moved as 8 by 8 transposes of 128-bit blocks: block b of
// register j holds the 8 words of the line for column 8b + j of its part, and
// after the interleaves register k holds word k of every line of the part,
// that is, row k's columns, in order. A part is as wide as a register, so a
// group is four parts on the baseline, two with AVX2 and one with AVX-512.
#include <cstddef>
#include <cstdint>

#include "acquisition/raw_frame_layout.h"
#include "platform/instruction_set.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {


constexpr int32_t kGroupColumns = 32;  // image columns (raw lines) per group: one cache line of a row
constexpr int32_t kGroupWords = 8;     // raw words (image rows) per group
constexpr int32_t kTileGroups = 2;     // groups walked down the rows together: 64 raw lines
constexpr ptrdiff_t kRawLineBytes = ptrdiff_t(kRawLineWords) * 2;
static_assert(kGroupColumns * 2 == kCacheLineBytes, "a group fills one cache line of a row");
static_assert(kRunLength % kGroupWords == 0, "groups must cover the runs");

// One run: where it starts in the raw line and the image row of its word t = 0.
struct RunPlacement {
  int32_t start;
  int32_t firstRow;
  int32_t rowStep;
};

// Of the image half [first, end): the columns a group starting at `column` writes.
struct GroupSpan {
  int32_t from;
  int32_t to;
};

// Words 0..7 of the group's lines, placed as the image rows want them:
// out[k][i] is word k of the line that feeds column `column + i`.
using GroupBlock = uint16_t[kGroupWords][kGroupColumns];

// Columns column + span.from .. column + span.to - 1 of rows row0, row0 + rowStep, ...
inline void WriteSpan(const GroupBlock block, uint16_t* row0, int32_t column, ptrdiff_t rowStep, GroupSpan span) {
  for (int32_t k = 0; k < kGroupWords; ++k) {
    const ptrdiff_t start = k * rowStep + column;
    for (int32_t i = span.from; i < span.to; ++i) row0[start + i] = block[k][i];
  }
}

// The kernel (GroupKernel below) streams a whole group to rows row0, row0 +
// rowStep, ... (Stream: slot i at slot0 + i * kSlotStep, 16 bytes each,
// unaligned; rows 64-byte aligned), places the span of a partial group with
// ordinary stores (Place), and orders its streaming stores (Finish).

// Each group reads 16 bytes from each of 32 raw lines, and a tile walks 128
// such streams at once: more than the processor's own prefetchers follow, so
// each line's data is asked for a few groups ahead. Lines are not aligned to
// cache lines; asking at every group covers each of them.
constexpr ptrdiff_t kPrefetchBytes = 256;
template <ptrdiff_t kSlotStep>
TAVRIX_KERNEL_INLINE void Prefetch(const uint8_t* slot0) {
  for (int32_t i = 0; i < kGroupColumns; ++i) __builtin_prefetch(slot0 + i * kSlotStep + kPrefetchBytes);
}

// One half of the image: the left half's columns take raw lines in rising
// order, the right half's in falling order. The line step is a constant so
// that the group's 32 loads take their offsets from one address.
template <class Kernel, bool isRight>
void UnscrambleHalf(const uint8_t* rawFrame, uint16_t* image, int32_t width, const RunPlacement runs[2], int32_t lead) {
  constexpr ptrdiff_t kSlotStep = isRight ? -kRawLineBytes : kRawLineBytes;
  const int32_t first = isRight ? width - kReadoutColumns : 0;
  const int32_t end = first + kReadoutColumns;
  // The raw line feeding image column x of this half.
  auto lineOf = [&](int32_t x) {
    const int32_t c = isRight ? width - 1 - x : x;
    return rawFrame + size_t(kFirstImageRawLine + c) * size_t(kRawLineBytes);
  };
  const int32_t firstGroup = first - ((first - lead) % kGroupColumns + kGroupColumns) % kGroupColumns;

  for (int32_t tile = firstGroup; tile < end; tile += kTileGroups * kGroupColumns) {
    const int32_t tileEnd = Smaller(end, tile + kTileGroups * kGroupColumns);
    for (int32_t t = 0; t < kRunLength; t += kGroupWords) {
      for (int32_t column = tile; column < tileEnd; column += kGroupColumns) {
        const GroupSpan span{Larger(first - column, 0), Smaller(end - column, kGroupColumns)};
        const bool whole = span.from == 0 && span.to == kGroupColumns;
        const uint8_t* slot0 = lineOf(column);
        for (int32_t r = 0; r < 2; ++r) {
          const RunPlacement& run = runs[r];
          const ptrdiff_t word = ptrdiff_t(run.start + t) * 2;
          const ptrdiff_t row = run.firstRow + ptrdiff_t(run.rowStep) * t;
          if (whole) {
            Prefetch<kSlotStep>(slot0 + word);
            Kernel::template Stream<kSlotStep>(slot0 + word, image + row * width + column,
                                               ptrdiff_t(run.rowStep) * width);
            continue;
          }
          // Slots outside the half repeat its edge line; their words are not written.
          const uint8_t* firstValid = lineOf(column + span.from) + word;
          const uint8_t* slots[kGroupColumns];
          for (int32_t i = 0; i < kGroupColumns; ++i)
            slots[i] = firstValid + (Smaller(Larger(i, span.from), span.to - 1) - span.from) * kSlotStep;
          Kernel::Place(slots, image + row * width, column, ptrdiff_t(run.rowStep) * width, span);
        }
      }
    }
  }
}

template <class Kernel>
void UnscrambleByGroups(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  const RunPlacement left[2] = {{kRunCStart, kRunLength - 1, -1}, {kRunDStart, height - 1, -1}};
  const RunPlacement right[2] = {{kRunAStart, 0, 1}, {kRunBStart, kRunLength, 1}};
  // Words from the image's start to its first cache-line boundary.
  const int32_t lead =
      int32_t((kCacheLineBytes - reinterpret_cast<uintptr_t>(image) % kCacheLineBytes) % kCacheLineBytes) / 2;
  UnscrambleHalf<Kernel, false>(rawFrame, image, width, left, lead);
  UnscrambleHalf<Kernel, true>(rawFrame, image, width, right, lead);
  Kernel::Finish();
}


constexpr int32_t kBlockWords = 8;  // words of one 128-bit block
constexpr int32_t kPartColumns = kBlockWords * kBlocks;
constexpr int32_t kParts = kGroupColumns / kPartColumns;
static_assert(kBlockWords == kGroupWords, "one transpose moves the words of a group");

// Register j, block b: the slot for column part * kPartColumns + 8b + j.
template <class SlotAt>
TAVRIX_KERNEL_INLINE void LoadPart(SlotAt slotAt, int32_t part, Words v[kGroupWords]) {
  for (int32_t j = 0; j < kGroupWords; ++j)
    v[j] = LoadBlocks([&](int32_t b) { return slotAt(part * kPartColumns + b * kBlockWords + j); });
}

struct Rows {
  Words v[kGroupWords];
};
static_assert(kGroupWords == kTransposeWords, "one transpose moves a group's words");

// Part `part` of a group, transposed: row k holds row k's columns of the part.
template <class SlotAt>
TAVRIX_KERNEL_INLINE Rows TransposedPart(SlotAt slotAt, int32_t part) {
  Rows in, out;
  LoadPart(slotAt, part, in.v);
  TransposeWordBlocks(in.v, out.v);
  return out;
}

// The group's rows into block, part by part.
template <class SlotAt>
void GatherGroup(SlotAt slotAt, GroupBlock block) {
  for (int32_t part = 0; part < kParts; ++part) {
    const Rows rows = TransposedPart(slotAt, part);
    for (int32_t k = 0; k < kGroupWords; ++k) StoreWordsAligned(block[k] + part * kPartColumns, rows.v[k]);
  }
}

struct GroupKernel {
  template <ptrdiff_t kSlotStep>
  static void Stream(const uint8_t* slot0, uint16_t* row0, ptrdiff_t rowStep) {
    if constexpr (kParts > 2) {
      // The parts of narrow registers outnumber the registers: they wait in
      // a block on the stack (in cache) instead of being spilled one by one.
      alignas(kCacheLineBytes) GroupBlock block;
      GatherGroup([&](int32_t i) { return slot0 + i * kSlotStep; }, block);
      for (int32_t k = 0; k < kGroupWords; ++k)
        for (int32_t part = 0; part < kParts; ++part)
          StreamWords(row0 + k * rowStep + part * kPartColumns, LoadWordsAligned(block[k] + part * kPartColumns));
    } else {
      Rows parts[kParts];
      for (int32_t part = 0; part < kParts; ++part)
        parts[part] = TransposedPart([&](int32_t i) { return slot0 + i * kSlotStep; }, part);
      // Each row's cache line is written by consecutive stores, so it leaves whole.
      for (int32_t k = 0; k < kGroupWords; ++k)
        for (int32_t part = 0; part < kParts; ++part)
          StreamWords(row0 + k * rowStep + part * kPartColumns, parts[part].v[k]);
    }
  }
  static void Place(const uint8_t* const slots[kGroupColumns], uint16_t* row0, int32_t column, ptrdiff_t rowStep,
                    GroupSpan span) {
    alignas(kCacheLineBytes) GroupBlock block;
    GatherGroup([&](int32_t i) { return slots[i]; }, block);
    WriteSpan(block, row0, column, rowStep, span);
  }
  static void Finish() { FinishStreams(); }
};

}  // namespace

void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleByGroups<GroupKernel>(rawFrame, image, width, height);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
