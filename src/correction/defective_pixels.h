#pragma once

#include <cstdint>

namespace tavrix {

// Replaces defective pixels by the integer mean of their good neighbours.
void CorrectDefectivePixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

}  // namespace tavrix
