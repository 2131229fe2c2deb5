#include "correction/flagged_pixel_fill.h"

#include <cstddef>

#include "correction/pixel_rules.h"

namespace tavrix {

void FillFlaggedPixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  // The block ends at the pixel, so all eight values precede it in raster
  // order: a fill-coded neighbour contributes the value this pass gave it.
  constexpr int32_t kReach = 2;
  constexpr uint32_t kNeighbours = 8;
  for (int32_t r = kReach; r < height; ++r) {
    for (int32_t c = kReach; c < width; ++c) {
      if (pixelMap[r][c] != kFillCode) continue;
      uint32_t sum = 0;
      for (int32_t rr = r - kReach; rr <= r; ++rr)
        for (int32_t cc = c - kReach; cc <= c; ++cc)
          if (rr != r || cc != c) sum += image[size_t(rr) * width + cc];
      image[size_t(r) * width + c] = uint16_t(sum / kNeighbours);
    }
  }
}

}  // namespace tavrix
