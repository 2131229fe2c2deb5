#pragma once

#include <cstdint>

namespace tavrix {

// The window is 5 x 5. Tested are rows and columns from kImpulseFirstTested up
// to the last one whose window still fits in the image.
constexpr int32_t kImpulseWindowReach = 2;
constexpr int32_t kImpulseFirstTested = 6;

// Replaces isolated outliers of 5 x 5 windows by the mean of their accepted neighbours, in place, in raster order.
void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
