// Statistics of a corrected image's data area, shared by the measurements
// of response, lag, dark noise and the exposure index.
#pragma once

#include <cstdint>

#include "data_area.h"

namespace tavrix_qa {

struct AreaStatistics {
  double mean = 0.0;
  int64_t pixels = 0;
  int64_t clipped = 0;  // reading 0 or full scale
};

AreaStatistics DataAreaStatistics(const uint16_t* image);
// The mean of the data area's pixels of one row.
double RowMean(const uint16_t* image, int32_t row);

}  // namespace tavrix_qa
