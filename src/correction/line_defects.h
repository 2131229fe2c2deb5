#pragma once

#include <cstdint>

namespace tavrix {

// Rebuilds flagged half-rows and columns against a trend fitted through the lines around them.
void CorrectLineDefects(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

}  // namespace tavrix
