#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// Multiplies every pixel by its gain and sets the kGainFrameWidth frame to 16383.
// Takes the widest vector path the processor offers; every path gives the
// result of ApplyGainMapPlain.
void ApplyGainMap(uint16_t* image, int32_t width, int32_t height, const float* const* gainMap);

// The same, one pixel at a time: the reference the fast paths are held to.
void ApplyGainMapPlain(uint16_t* image, int32_t width, int32_t height, const float* const* gainMap);

}  // namespace tavrix
