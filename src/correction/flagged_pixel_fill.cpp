#include "correction/flagged_pixel_fill.h"

#include <cstddef>

#include "platform/pixel_rules.h"

namespace tavrix {

void FillFlaggedPixelAt(uint16_t* image, int32_t width, int32_t r, int32_t c) {
  // The block ends at the pixel, so all eight values precede it in raster
  // order: a fill-coded neighbour contributes the value this pass gave it.
  constexpr uint32_t kNeighbours = 8;
  uint32_t sum = 0;
  for (int32_t rr = r - kFillReach; rr <= r; ++rr)
    for (int32_t cc = c - kFillReach; cc <= c; ++cc)
      if (rr != r || cc != c) sum += image[size_t(rr) * width + cc];
  image[size_t(r) * width + c] = uint16_t(sum / kNeighbours);
}

void FillFlaggedPixelsPlain(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  for (int32_t r = kFillReach; r < height; ++r)
    for (int32_t c = kFillReach; c < width; ++c)
      if (pixelMap[r][c] == kFillCode) FillFlaggedPixelAt(image, width, r, c);
}

}  // namespace tavrix
