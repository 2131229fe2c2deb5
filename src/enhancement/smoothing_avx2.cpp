#include "enhancement/smoothing_fast.h"

namespace tavrix {

void ConvolveInteriorAvx2(uint16_t* source, const uint16_t* copy, const double* kernel,
                          int32_t radius, int32_t width, int32_t height, double inverse) {
  ConvolveInteriorLanes<4>(source, copy, kernel, radius, width, height, inverse);
}

}  // namespace tavrix
