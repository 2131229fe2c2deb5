#pragma once

#include <cstdint>

namespace tavrix {

// The correction of one frame, in place, with one panel's maps: impulse noise,
// neighbour fill, gain, defective pixels, line defects, impulse noise again,
// border mask. Each step finishes before the next begins. The steps take
// their fast paths; the result is that of CorrectImagePlain.
void CorrectImage(uint16_t* image, int32_t width, int32_t height,
                  const uint8_t* const* pixelMap, const float* const* gainMap);

// The same chain of the plain steps: the reference for the fast pipeline.
void CorrectImagePlain(uint16_t* image, int32_t width, int32_t height,
                       const uint8_t* const* pixelMap, const float* const* gainMap);

}  // namespace tavrix
