#pragma once

#include <cstdint>

namespace tavrix {

// Replaces isolated outliers of 5 x 5 windows by the mean of their accepted neighbours, in place, in raster order.
void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
