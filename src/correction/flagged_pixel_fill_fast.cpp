#include "correction/flagged_pixel_fill.h"
#include "correction/map_scan.h"
#include "platform/pixel_rules.h"

namespace tavrix {

// What makes it fast: each map row is searched for the fill code sixteen
// bytes at a time; the coded pixels are still filled one by one in raster order.
void FillFlaggedPixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  for (int32_t r = kFillReach; r < height; ++r) {
    const uint8_t* codes = pixelMap[r];
    for (int32_t c = FindInMapRow<MapMatch::kEquals>(codes, kFillReach, width, kFillCode); c < width;
         c = FindInMapRow<MapMatch::kEquals>(codes, c + 1, width, kFillCode))
      FillFlaggedPixelAt(image, width, r, c);
  }
}

}  // namespace tavrix
