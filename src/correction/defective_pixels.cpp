#include "correction/defective_pixels.h"

namespace tavrix {

void CorrectDefectivePixels(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  // Not built yet: leaves the image as it is.
  (void)image; (void)width; (void)height; (void)pixelMap;
}

}  // namespace tavrix
