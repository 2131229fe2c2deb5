// One level of the low-pass decomposition: every column, then every row, is
// circularly convolved with the six taps and halved. Planes are row-major with
// a fixed row stride at every level.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

// The fast level handles six taps with a phase shift of 2, on lines of even
// length and at least kShortestFastLine; others take the plain filter.
constexpr int32_t kFastTaps = 6;
constexpr int32_t kShortestFastLine = 8;

// How the filtered outputs of a line are stored: rotated by phaseShift places.
struct LineFilter {
  const float* taps;
  int32_t tapCount;
  int32_t phaseShift;
  float* lineBuffer;  // holds a whole line's outputs before any is stored
};

// Filters the line of `length` samples at source[t * step] and stores its
// length / 2 outputs at destination[p * step]. Source and destination may be
// the same line.
void FilterLine(const float* source, float* destination, ptrdiff_t step, int32_t length,
                const LineFilter& filter);

// Column `column` of a plane with row stride `stride`.
void FilterColumn(int32_t length, const LineFilter& filter, const float* source,
                  float* destination, int32_t column, int32_t stride);

// Row `row` of a plane with row stride `stride`.
void FilterRow(int32_t length, const LineFilter& filter, const float* source,
               float* destination, int32_t row, int32_t stride);

// Reduces the columns x rows block of source to a columns/2 x rows/2 block at
// the top left of destination: column pass into destination, then the row
// pass in place. Source may be destination. DecomposeLevel is the one a run
// uses; DecomposeLevelPlain, one line at a time, is what it must equal.
void DecomposeLevel(int32_t columns, int32_t rows, const LineFilter& filter, const float* source,
                    float* destination, int32_t stride);
void DecomposeLevelPlain(int32_t columns, int32_t rows, const LineFilter& filter,
                         const float* source, float* destination, int32_t stride);

}  // namespace tavrix
