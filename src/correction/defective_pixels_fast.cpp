#include "correction/defective_pixels.h"
#include "correction/map_scan.h"

namespace tavrix {

// What makes it fast: each map row is searched for defects sixteen bytes at a
// time, so the work is in proportion to the defects, not to the pixels.
void CorrectDefectivePixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  for (int32_t r = 1; r < height - 1; ++r) {
    const uint8_t* codes = pixelMap[r];
    for (int32_t c = FindInMapRow<MapMatch::kAnyNonzero>(codes, 1, width - 1); c < width - 1;
         c = FindInMapRow<MapMatch::kAnyNonzero>(codes, c + 1, width - 1))
      CorrectDefectivePixelAt(image, width, pixelMap, r, c);
  }
}

}  // namespace tavrix
