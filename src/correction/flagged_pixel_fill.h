#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// Fills fill-coded pixels from the eight pixels of the 3 x 3 block ending at
// them, in raster order. Gives the result of FillFlaggedPixelsPlain.
void FillFlaggedPixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

// The same, testing every map byte: the reference for the fast version.
void FillFlaggedPixelsPlain(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

// Fills pixel (r, c) from its block as the image holds it now.
void FillFlaggedPixelAt(uint16_t* image, int32_t width, int32_t r, int32_t c);

}  // namespace tavrix
