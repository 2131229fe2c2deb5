#include "correction/defective_pixels.h"

#include <cstddef>

#include "platform/pixel_rules.h"

namespace tavrix {

void CorrectDefectivePixelAt(uint16_t* image, int32_t width, const uint8_t* const* pixelMap, int32_t r, int32_t c) {
  int64_t sum = 0;
  int64_t count = 0;
  for (int32_t rr = r - 1; rr <= r + 1; ++rr) {
    for (int32_t cc = c - 1; cc <= c + 1; ++cc) {
      if (pixelMap[rr][cc] != kGoodPixel) continue;
      sum += image[size_t(rr) * width + cc];
      ++count;
    }
  }
  uint16_t& pixel = image[size_t(r) * width + c];
  const int64_t value = count > 0 ? sum / count : int64_t(pixel);
  pixel = ClampToPixel(value);
}

void CorrectDefectivePixelsPlain(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  // Only defective pixels are written and only good ones read, so the result
  // does not depend on the order of the visits.
  for (int32_t r = 1; r < height - 1; ++r)
    for (int32_t c = 1; c < width - 1; ++c)
      if (pixelMap[r][c] != kGoodPixel) CorrectDefectivePixelAt(image, width, pixelMap, r, c);
}

}  // namespace tavrix
