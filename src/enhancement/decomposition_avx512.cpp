#include "enhancement/decomposition_fast.h"

namespace tavrix {

void FilterColumnsAvx512(int32_t columns, int32_t rows, const float* taps, const float* source,
                         float* destination, int32_t stride) {
  FilterColumnsLanes<8>(columns, rows, taps, source, destination, stride);
}

void FilterRowsAvx512(int32_t columns, int32_t rows, const float* taps, float* plane,
                      int32_t stride, float* lineBuffer) {
  FilterRowsLanes<8>(columns, rows, taps, plane, stride, lineBuffer);
}

}  // namespace tavrix
