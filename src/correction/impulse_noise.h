#pragma once

#include <cstdint>

namespace tavrix {

// The window is 5 x 5. Tested are rows and columns from kImpulseFirstTested up
// to the last one whose window still fits in the image.
constexpr int32_t kImpulseWindowReach = 2;
constexpr int32_t kImpulseFirstTested = 6;

// Replaces isolated outliers of 5 x 5 windows by the mean of their accepted
// neighbours, in place, in raster order. Takes the widest vector path the
// processor offers; every path gives the result of FilterImpulseNoisePlain.
void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height);

// The same, one pixel at a time: the reference the fast paths are held to.
void FilterImpulseNoisePlain(uint16_t* image, int32_t width, int32_t height);

// Tests pixel (y, x) against the band of its window as the image holds it
// now and replaces it if it lies outside. Returns whether it was replaced.
bool FilterImpulseNoiseAt(uint16_t* image, int32_t width, int32_t y, int32_t x);

// Pixels marked in one call of the vector marking; their column sums live on the stack.
constexpr int32_t kImpulseMarkRun = 512;

}  // namespace tavrix
