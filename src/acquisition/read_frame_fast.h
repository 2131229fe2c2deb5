// The readout's paths, one per instruction set; UnscrambleFrame chooses.
// The wider paths need rows that start on a cache line (a width of a
// multiple of 32); every path gives the words of UnscrambleFramePlain.
#pragma once

#include <cstdint>

namespace tavrix {

void UnscrambleFrameSse2(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);
void UnscrambleFrameAvx2(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);
void UnscrambleFrameAvx512(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
