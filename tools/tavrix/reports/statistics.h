// The order statistics every report and the calibration take, one way.
#pragma once

#include <vector>

namespace tavrix_tool {

// The value of rank floor(n x fraction) of the n values (reorders `values`);
// 0 when there are none.
float Percentile(std::vector<float>& values, double fraction);

// Rank n / 2: for an even count the upper of the two middle values.
float Median(std::vector<float>& values);

}  // namespace tavrix_tool
