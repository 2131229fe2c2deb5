#include "enhancement/log_map.h"

#include <cmath>

namespace tavrix {
namespace {

constexpr double kLogScale = 16384.0;

}  // namespace

uint16_t LogMapValue(uint16_t value) {
  if (value == 0) return 0;
  const double inverseK = 1.0 / std::log(kLogScale);
  // Evaluated in exactly this order: the last bit decides the truncation.
  const double mapped = std::log(double(value) + 1.0) * inverseK * kLogScale - 1.0;
  return uint16_t(int32_t(mapped));  // 1169..18723 for values 1..65535
}

void BuildLogMapTable(uint16_t* table) {
  for (size_t v = 0; v < kLogMapTableSize; ++v) table[v] = LogMapValue(uint16_t(v));
}

void LogMapImage(const uint16_t* source, uint16_t* destination, size_t pixelCount,
                 const uint16_t* table) {
  for (size_t i = 0; i < pixelCount; ++i) destination[i] = table[source[i]];
}

}  // namespace tavrix
