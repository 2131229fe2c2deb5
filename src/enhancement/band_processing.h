// Turns the coarsest band into the correction band: centred moving means down
// the columns and along the rows, subtracted from the centre and scaled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

// The coarsest band: the top-left block of a plane with row stride `stride`.
struct Band {
  int32_t columns;
  int32_t rows;
  int32_t stride;
};

// Mean of line[i * step] over a window of windowSize centred on position,
// shrunk symmetrically where the line ends (counts 1, 3, 5, ..., 5, 3, 1),
// summed in ascending order in double.
double CentredMean(const float* line, ptrdiff_t step, int32_t length, int32_t position,
                   int32_t windowSize);

// means[r][c] = the centred mean at row r down column c of the band.
void VerticalLocalMean(const float* band, float* means, Band size, int32_t windowSize);

// correction[r][c] = (centre - (row mean + means[r][c])) * gain, the row mean
// kept in double.
void ComputeCorrectionBand(const float* band, const float* means, float* correction, Band size,
                           int32_t windowSize, float centre, float gain);

}  // namespace tavrix
