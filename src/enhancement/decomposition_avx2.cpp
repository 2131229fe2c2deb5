#include "enhancement/decomposition_fast.h"

namespace tavrix {

void FilterColumnsAvx2(int32_t columns, int32_t rows, const float* taps, const float* source,
                       float* destination, int32_t stride) {
  FilterColumnsLanes<4>(columns, rows, taps, source, destination, stride);
}

void FilterRowsAvx2(int32_t columns, int32_t rows, const float* taps, float* plane,
                    int32_t stride, float* lineBuffer) {
  FilterRowsLanes<4>(columns, rows, taps, plane, stride, lineBuffer);
}

}  // namespace tavrix
