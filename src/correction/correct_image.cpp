#include "correction/correct_image.h"

#include "correction/border_mask.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/impulse_noise.h"
#include "correction/line_defects.h"

namespace tavrix {

void CorrectImage(uint16_t* image, int32_t width, int32_t height,
                  const uint8_t* const* pixelMap, const float* const* gainMap) {
  FilterImpulseNoise(image, width, height);
  FillFlaggedPixels(image, width, height, pixelMap);
  ApplyGainMap(image, width, height, gainMap);
  CorrectDefectivePixels(image, width, height, pixelMap);
  CorrectLineDefects(image, width, height, pixelMap);
  FilterImpulseNoise(image, width, height);
  MaskBorder(image, width, height);
}

void CorrectImagePlain(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap,
                       const float* const* gainMap) {
  FilterImpulseNoisePlain(image, width, height);
  FillFlaggedPixelsPlain(image, width, height, pixelMap);
  ApplyGainMapPlain(image, width, height, gainMap);
  CorrectDefectivePixelsPlain(image, width, height, pixelMap);
  CorrectLineDefects(image, width, height, pixelMap);
  FilterImpulseNoisePlain(image, width, height);
  MaskBorder(image, width, height);
}

}  // namespace tavrix
