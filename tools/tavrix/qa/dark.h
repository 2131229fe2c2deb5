// Dark frames: the mean level, the temporal noise (each pixel's spread from
// frame to frame) and the fixed-pattern noise (the spread of the pixels'
// means across the data area, less what the temporal noise leaves in a mean
// of that many frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrix_qa {

constexpr size_t kMinimumDarkFrames = 2;

struct DarkResult {
  double mean = 0.0;
  double temporalNoise = 0.0;      // counts rms
  double fixedPatternNoise = 0.0;  // counts rms
  int32_t frames = 0;
};

// Throws QaError for fewer than kMinimumDarkFrames frames.
DarkResult MeasureDark(const std::vector<const uint16_t*>& darks);

}  // namespace tavrix_qa
