// Brings the correction band back to full size, doubling it per level by
// linear interpolation, and applies it to the log image at the last level.
#pragma once

#include <cstdint>

namespace tavrix {

// What the last level needs to write the enhanced image.
struct FinalOutput {
  const float* logImage;  // ln(m + 1) per pixel
  uint16_t* image;        // receives the enhanced 14-bit image
  int32_t strength;       // sets the global offset
};

// Enlarges the columns x rows block of source to 2 columns x 2 rows. Odd rows
// and columns interpolate between their neighbours; the sample one past the
// block is the block's own last row or column. Every level but the last
// writes `plane`; the last writes output.image instead.
void UpsampleLevel(const float* source, float* plane, int32_t stride, int32_t columns,
                   int32_t rows, const FinalOutput& output, bool last);

// levels enlargements of the columns x rows correction band, alternating
// between band and other as source and destination and yielding the processor
// before each.
void Reconstruct(float* band, float* other, const FinalOutput& output, int32_t stride,
                 int32_t columns, int32_t rows, int32_t levels);

}  // namespace tavrix
