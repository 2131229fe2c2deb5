#pragma once

#include <cstdint>

namespace tavrix {

// Multiplies every pixel by its gain and sets a 20-pixel frame to 16383.
void ApplyGainMap(uint16_t* image, int32_t width, int32_t height, const float* const* gainMap);

}  // namespace tavrix
