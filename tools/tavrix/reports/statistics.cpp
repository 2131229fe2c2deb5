#include "reports/statistics.h"

#include <algorithm>
#include <cstddef>

namespace tavrix_tool {

namespace {

constexpr double kMiddle = 0.5;

}  // namespace

float Percentile(std::vector<float>& values, double fraction) {
  if (values.empty()) return 0.0f;
  const size_t rank = std::min(values.size() - 1, size_t(double(values.size()) * fraction));
  std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(rank), values.end());
  return values[rank];
}

float Median(std::vector<float>& values) { return Percentile(values, kMiddle); }

}  // namespace tavrix_tool
