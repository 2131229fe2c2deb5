#include "enhancement/decomposition.h"

namespace tavrix {

void FilterLine(const float* source, float* destination, ptrdiff_t step, int32_t length,
                const LineFilter& filter) {
  const int32_t n = filter.tapCount;
  const int32_t half = length / 2;
  // Only whole pairs give an output; an odd last sample enters through the
  // periodic extension alone.
  for (int32_t e = 0; e < 2 * half; e += 2) {
    double sum = 0.0;
    for (int32_t k = 0; k < n; ++k) {
      const int32_t t = (e + k) % length;  // periodic extension
      sum = sum + double(source[t * step]) * double(filter.taps[n - 1 - k]);
    }
    filter.lineBuffer[e] = float(sum);
  }
  // Stored only now, so that the line can be filtered in place.
  for (int32_t e = 0; e < 2 * half; e += 2) {
    const int32_t p = (e / 2 + filter.phaseShift) % half;
    destination[p * step] = filter.lineBuffer[e];
  }
}

void FilterColumn(int32_t length, const LineFilter& filter, const float* source,
                  float* destination, int32_t column, int32_t stride) {
  FilterLine(source + column, destination + column, stride, length, filter);
}

void FilterRow(int32_t length, const LineFilter& filter, const float* source,
               float* destination, int32_t row, int32_t stride) {
  const ptrdiff_t start = ptrdiff_t(row) * stride;
  FilterLine(source + start, destination + start, 1, length, filter);
}

void DecomposeLevelPlain(int32_t columns, int32_t rows, const LineFilter& filter,
                         const float* source, float* destination, int32_t stride) {
  for (int32_t c = 0; c < columns; ++c) FilterColumn(rows, filter, source, destination, c, stride);
  for (int32_t r = 0; r < rows / 2; ++r)
    FilterRow(columns, filter, destination, destination, r, stride);
}

}  // namespace tavrix
