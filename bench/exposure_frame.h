// What the acquisition benchmarks share: a plausible exposure's raw frame and
// the median of a run's samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "grabber/frame_grabber.h"

inline double Median(std::vector<double> samples) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// A plausible exposure: a smooth field with mild noise and a few hot pixels,
// so that the correction does the work it does on real frames.
inline std::vector<uint8_t> ExposureRawFrame() {
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  uint32_t state = 12345;
  for (int32_t n = 0; n < tavrix::kRawLineCount; ++n)
    for (int32_t w = 0; w < tavrix::kRawLineWords; ++w) {
      state = state * 1664525u + 1013904223u;
      uint32_t value = 2000u + uint32_t(n) + uint32_t(w % 1536) / 2 + (state >> 28);
      if ((state & 0xFFFFu) == 7u) value = 15000u;
      const size_t at = (size_t(n) * tavrix::kRawLineWords + size_t(w)) * 2;
      raw[at] = uint8_t(value & 0xFF);
      raw[at + 1] = uint8_t(value >> 8);
    }
  return raw;
}

