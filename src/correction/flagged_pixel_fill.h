#pragma once

#include <cstdint>

namespace tavrix {

// Fills fill-coded pixels from the eight pixels of the 3 x 3 block ending at them.
void FillFlaggedPixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

}  // namespace tavrix
