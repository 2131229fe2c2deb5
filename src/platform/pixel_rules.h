// Rules every correction step shares: pixels are 14-bit, a floating-point
// result is clamped to 0..16383 and then truncated toward zero (never
// rounded), and NaN becomes 0.
#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// `!(x > 0)` also catches NaN, so every input has a defined result.
inline uint16_t ClampToPixel(double x) {
  if (!(x > 0.0)) return 0;
  if (x > double(kMaxPixelValue)) return uint16_t(kMaxPixelValue);
  return uint16_t(x);
}

inline uint16_t ClampToPixel(int64_t x) {
  if (x < 0) return 0;
  if (x > kMaxPixelValue) return uint16_t(kMaxPixelValue);
  return uint16_t(x);
}

}  // namespace tavrix
