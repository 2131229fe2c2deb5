#include "enhancement/band_processing.h"

#include <algorithm>

namespace tavrix {

double CentredMean(const float* line, ptrdiff_t step, int32_t length, int32_t position,
                   int32_t windowSize) {
  // The window keeps its centre: near an end it loses as much on the far side
  // as it must on the near side. The third bound only matters for lines
  // shorter than the window, which would otherwise be read past their end.
  const int32_t reach = std::min({windowSize / 2, position, length - 1 - position});
  double sum = 0.0;
  for (int32_t i = position - reach; i <= position + reach; ++i)
    sum = sum + double(line[i * step]);
  return sum / double(2 * reach + 1);
}

void VerticalLocalMean(const float* band, float* means, Band size, int32_t windowSize) {
  for (int32_t c = 0; c < size.columns; ++c)
    for (int32_t r = 0; r < size.rows; ++r)
      means[ptrdiff_t(r) * size.stride + c] =
          float(CentredMean(band + c, size.stride, size.rows, r, windowSize));
}

void ComputeCorrectionBand(const float* band, const float* means, float* correction, Band size,
                           int32_t windowSize, float centre, float gain) {
  for (int32_t r = 0; r < size.rows; ++r) {
    const float* row = band + ptrdiff_t(r) * size.stride;
    for (int32_t c = 0; c < size.columns; ++c) {
      const ptrdiff_t i = ptrdiff_t(r) * size.stride + c;
      const double h = CentredMean(row, 1, size.columns, c, windowSize);
      correction[i] = float((double(centre) - (h + double(means[i]))) * double(gain));
    }
  }
}

}  // namespace tavrix
