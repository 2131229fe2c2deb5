#include "enhancement/reconstruction_fast.h"

namespace tavrix {

void UpsampleLevelAvx2(const float* source, float* plane, int32_t stride, int32_t columns,
                       int32_t rows, const FinalOutput& output, bool last) {
  UpsampleLevelLanes<4>(source, plane, stride, columns, rows, output, last);
}

}  // namespace tavrix
