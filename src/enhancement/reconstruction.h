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

// The neighbour after index i of an odd output, replicated at the block's end
// so that a constant band stays constant to the last pixel.
inline int32_t NextOrLast(int32_t i, int32_t count) { return i + 1 < count ? i + 1 : count - 1; }

// Output (r, c) of enlarging the columns x rows block of source: even rows and
// columns copy, odd ones average their neighbours, in double precision.
double InterpolatedSample(const float* source, int32_t stride, int32_t columns, int32_t rows,
                          int32_t r, int32_t c);

// strength * 0.01 * 4, the single-precision 0.01 widened.
double FinalOffset(int32_t strength);

// The enhanced pixel for the interpolated correction v: e^(v + ln(m + 1) +
// offset) - 1, clamped to 0..16383 and truncated.
uint16_t FinalPixel(double v, float logValue, double offset);

// Enlarges the columns x rows block of source to 2 columns x 2 rows. Odd rows
// and columns interpolate between their neighbours; the sample one past the
// block is the block's own last row or column. Every level but the last
// writes `plane`; the last writes output.image instead. UpsampleLevel is the
// one a run uses; UpsampleLevelPlain, one output at a time, is what it must
// equal.
void UpsampleLevel(const float* source, float* plane, int32_t stride, int32_t columns,
                   int32_t rows, const FinalOutput& output, bool last);
void UpsampleLevelPlain(const float* source, float* plane, int32_t stride, int32_t columns,
                        int32_t rows, const FinalOutput& output, bool last);

using UpsampleFunction = void (*)(const float* source, float* plane, int32_t stride,
                                  int32_t columns, int32_t rows, const FinalOutput& output,
                                  bool last);

// levels enlargements of the columns x rows correction band, alternating
// between band and other as source and destination and yielding the processor
// before each; ReconstructPlain with the plain enlargement.
void Reconstruct(float* band, float* other, const FinalOutput& output, int32_t stride,
                 int32_t columns, int32_t rows, int32_t levels,
                 UpsampleFunction upsample = UpsampleLevel);
inline void ReconstructPlain(float* band, float* other, const FinalOutput& output,
                             int32_t stride, int32_t columns, int32_t rows, int32_t levels) {
  Reconstruct(band, other, output, stride, columns, rows, levels, UpsampleLevelPlain);
}

}  // namespace tavrix
