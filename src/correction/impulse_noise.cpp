#include "correction/impulse_noise.h"

namespace tavrix {

void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height) {
  // Not built yet: leaves the image as it is.
  (void)image; (void)width; (void)height;
}

}  // namespace tavrix
