#include "enhancement/decomposition.h"
#include "platform/kernels.h"

namespace tavrix {

// The column pass reads the plane row by row, all columns of a block at once,
// instead of walking down one column with the stride of a whole row; the row
// pass filters several outputs per vector. Every lane sums as the plain line.
void DecomposeLevel(int32_t columns, int32_t rows, const LineFilter& filter, const float* source,
                    float* destination, int32_t stride) {
  const bool sixTapsShiftedByTwo = filter.tapCount == kFastTaps && filter.phaseShift == 2;
  const Kernels& kernels = ActiveKernels();

  if (sixTapsShiftedByTwo && rows % 2 == 0 && rows >= kShortestFastLine) {
    kernels.FilterColumns(columns, rows, filter.taps, source, destination, stride);
  } else {
    for (int32_t c = 0; c < columns; ++c)
      FilterColumn(rows, filter, source, destination, c, stride);
  }

  if (sixTapsShiftedByTwo && columns % 2 == 0 && columns >= kShortestFastLine) {
    kernels.FilterRows(columns, rows / 2, filter.taps, destination, stride, filter.lineBuffer);
  } else {
    for (int32_t r = 0; r < rows / 2; ++r)
      FilterRow(columns, filter, destination, destination, r, stride);
  }
}

}  // namespace tavrix
