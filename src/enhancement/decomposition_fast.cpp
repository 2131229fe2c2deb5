#include "enhancement/decomposition_fast.h"

#include "platform/instruction_set.h"

namespace tavrix {

void FilterColumnsBaseline(int32_t columns, int32_t rows, const float* taps, const float* source,
                           float* destination, int32_t stride) {
  FilterColumnsLanes<2>(columns, rows, taps, source, destination, stride);
}

void FilterRowsBaseline(int32_t columns, int32_t rows, const float* taps, float* plane,
                        int32_t stride, float* lineBuffer) {
  FilterRowsLanes<2>(columns, rows, taps, plane, stride, lineBuffer);
}

// The column pass reads the plane row by row, all columns of a block at once,
// instead of walking down one column with the stride of a whole row; the row
// pass filters several outputs per vector. Every lane sums as the plain line.
void DecomposeLevel(int32_t columns, int32_t rows, const LineFilter& filter, const float* source,
                    float* destination, int32_t stride) {
  const bool sixTapsShiftedByTwo = filter.tapCount == kFastTaps && filter.phaseShift == 2;
  const InstructionSet path = ActiveInstructionSet();

  if (sixTapsShiftedByTwo && rows % 2 == 0 && rows >= kShortestFastLine) {
    if (path == InstructionSet::kAvx512)
      FilterColumnsAvx512(columns, rows, filter.taps, source, destination, stride);
    else if (path == InstructionSet::kAvx2)
      FilterColumnsAvx2(columns, rows, filter.taps, source, destination, stride);
    else
      FilterColumnsBaseline(columns, rows, filter.taps, source, destination, stride);
  } else {
    for (int32_t c = 0; c < columns; ++c)
      FilterColumn(rows, filter, source, destination, c, stride);
  }

  if (sixTapsShiftedByTwo && columns % 2 == 0 && columns >= kShortestFastLine) {
    if (path == InstructionSet::kAvx512)
      FilterRowsAvx512(columns, rows / 2, filter.taps, destination, stride, filter.lineBuffer);
    else if (path == InstructionSet::kAvx2)
      FilterRowsAvx2(columns, rows / 2, filter.taps, destination, stride, filter.lineBuffer);
    else
      FilterRowsBaseline(columns, rows / 2, filter.taps, destination, stride, filter.lineBuffer);
  } else {
    for (int32_t r = 0; r < rows / 2; ++r)
      FilterRow(columns, filter, destination, destination, r, stride);
  }
}

}  // namespace tavrix
