#include "correction/gain_correction.h"

#include <cstddef>

#include "platform/pixel_rules.h"

namespace tavrix {

namespace {

bool InGainFrame(int32_t r, int32_t c, int32_t width, int32_t height) {
  return r < kGainFrameWidth || c < kGainFrameWidth || r > height - 1 - kGainFrameWidth ||
         c > width - 1 - kGainFrameWidth;
}

}  // namespace

void ApplyGainMapPlain(uint16_t* image, int32_t width, int32_t height, const float* const* gainMap) {
  for (int32_t r = 0; r < height; ++r) {
    uint16_t* row = image + size_t(r) * width;
    const float* gains = gainMap[r];
    for (int32_t c = 0; c < width; ++c) {
      // The double product of a 16-bit value and a float is exact. The clamp
      // turns NaN (a NaN gain, or infinity times 0) into 0.
      const double x = double(row[c]) * double(gains[c]);
      row[c] = InGainFrame(r, c, width, height) ? uint16_t(kMaxPixelValue) : ClampToPixel(x);
    }
  }
}

}  // namespace tavrix
