#pragma once

#include <cstdint>

namespace tavrix {

// Replaces defective pixels by the integer mean of their good neighbours.
// Gives the result of CorrectDefectivePixelsPlain.
void CorrectDefectivePixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

// The same, testing every map byte: the reference for the fast version.
void CorrectDefectivePixelsPlain(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

// Replaces defective pixel (r, c), 1 <= r, c <= size - 2, by the mean of its good neighbours.
void CorrectDefectivePixelAt(uint16_t* image, int32_t width, const uint8_t* const* pixelMap, int32_t r, int32_t c);

}  // namespace tavrix
