// Lag and ghost from a sequence of four frames: a dark frame, an exposure
// of a band of rows (the rest covered), a dark frame read right after it,
// and a flat exposure. The lag is the exposed band's signal left in the
// next dark frame; the ghost, the sensitivity the band has lost in the flat
// (residual lag included), both relative to the unexposed rows and in per cent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrix_qa {

constexpr size_t kLagSequenceFrames = 4;

struct LagResult {
  double lagPercent = 0.0;
  double ghostPercent = 0.0;
  int32_t exposedRows = 0;
  int32_t coveredRows = 0;
};

// Throws QaError for a sequence of another length, or without both an
// exposed and a covered band of rows.
LagResult MeasureLag(const std::vector<const uint16_t*>& sequence);

}  // namespace tavrix_qa
