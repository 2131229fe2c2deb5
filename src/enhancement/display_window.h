// The display window of the log-mapped image and the scale of the correction
// derived from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "enhancement/log_map.h"

namespace tavrix {

constexpr int32_t kHistogramBins = 16384;

struct DisplayWindow {
  int32_t low;
  int32_t high;
};

struct CorrectionScale {
  float gain;
  float centre;
};

// ln(u + 1) of a log-mapped value u, as the float that the log image holds.
float LogImageValue(uint16_t mapped);

// Fills table[65536] with LogImageValue of every index.
void BuildLogImageTable(float* table);

// Counts the pixelCount log-mapped values into histogram[kHistogramBins] (values
// above the last bin land in it), fills logImage with ln(u + 1) from the table
// and returns the bins at which the running count first reaches 3 % and 97 %.
// A low bound of 0 is reported as 1; a high bound never reached is 0.
DisplayWindow ComputeWindow(const uint16_t* mapped, size_t pixelCount, int32_t* histogram,
                            float* logImage, const float* logImageTable);

// LogMapImage from source into mapped, then ComputeWindow of mapped, in one
// pass over the pixels: each value is looked up while it is at hand instead of
// being read back from the image. Gives the same images, histogram and window
// as the two steps in turn, which is what the plain run does. Source may be
// mapped. valueCounts[kValueCountElements] is scratch for the counts of each
// mapped value; the table's values must all be below kLogMapValueCount, as
// BuildLogMapTable's are.
// The counts are kept in several copies, taken in turn, so that a run of
// equal values does not wait for its own last increment; their sums are exact.
constexpr size_t kValueCountCopies = 4;
constexpr size_t kValueCountElements = kValueCountCopies * kLogMapValueCount;
DisplayWindow LogMapAndComputeWindow(const uint16_t* source, uint16_t* mapped, size_t pixelCount,
                                     const uint16_t* logMapTable, int32_t* histogram,
                                     float* logImage, const float* logImageTable,
                                     int32_t* valueCounts);

// gain = strength * 0.005 and centre = ln(low + high), both in single precision.
CorrectionScale ComputeGain(int32_t strength, DisplayWindow window);

}  // namespace tavrix
