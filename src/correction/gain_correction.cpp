#include "correction/gain_correction.h"

namespace tavrix {

void ApplyGainMap(uint16_t* image, int32_t width, int32_t height, const float* const* gainMap) {
  // Not built yet: leaves the image as it is.
  (void)image; (void)width; (void)height; (void)gainMap;
}

}  // namespace tavrix
