// The walk over the frame shared by the vector readouts. Each path moves
// groups of 32 raw lines by 8 words into 8 image rows by 32 columns: one
// 64-byte cache line of each row, which the path writes whole with streaming
// stores, so the image lines are never read for ownership. Groups are placed
// on the image's cache lines; the partial groups at the edges of each half go
// through a scratch block and are written word by word.
//
// Included by one source file per instruction set. Everything here has
// internal linkage so that each file keeps its own copy, compiled with its
// own flags.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "platform/instruction_set.h"

namespace tavrix {
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

// Kernel provides:
//   template <ptrdiff_t kSlotStep>
//   static void Stream(const uint8_t* slot0, uint16_t* row0, ptrdiff_t rowStep);
//     slot i (i = 0..31) at slot0 + i * kSlotStep, 16 bytes each, unaligned;
//     row k at row0 + k * rowStep, 64-byte aligned: out[k] streamed there.
//   static void Place(const uint8_t* const slots[32], uint16_t* row0, int32_t column, ptrdiff_t rowStep,
//                     GroupSpan span);  // writes only the span's columns, with ordinary stores
//   static void Finish();  // orders the streaming stores before returning

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
    const int32_t tileEnd = std::min(end, tile + kTileGroups * kGroupColumns);
    for (int32_t t = 0; t < kRunLength; t += kGroupWords) {
      for (int32_t column = tile; column < tileEnd; column += kGroupColumns) {
        const GroupSpan span{std::max(first - column, 0), std::min(end - column, kGroupColumns)};
        const bool whole = span.from == 0 && span.to == kGroupColumns;
        const uint8_t* slot0 = lineOf(column);
        for (int32_t r = 0; r < 2; ++r) {
          const RunPlacement& run = runs[r];
          const ptrdiff_t word = ptrdiff_t(run.start + t) * 2;
          const ptrdiff_t row = run.firstRow + ptrdiff_t(run.rowStep) * t;
          if (whole) {
            Kernel::template Stream<kSlotStep>(slot0 + word, image + row * width + column,
                                               ptrdiff_t(run.rowStep) * width);
            continue;
          }
          // Slots outside the half repeat its edge line; their words are not written.
          const uint8_t* firstValid = lineOf(column + span.from) + word;
          const uint8_t* slots[kGroupColumns];
          for (int32_t i = 0; i < kGroupColumns; ++i)
            slots[i] = firstValid + (std::min(std::max(i, span.from), span.to - 1) - span.from) * kSlotStep;
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

}  // namespace
}  // namespace tavrix
