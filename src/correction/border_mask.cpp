#include "correction/border_mask.h"

#include <algorithm>

#include "platform/pixel_rules.h"

namespace tavrix {

void MaskBorder(uint16_t* image, int32_t width, int32_t height) {
  const uint16_t white = uint16_t(kMaxPixelValue);
  for (int32_t k = 0; k < kBorderMaskWidth; ++k) {
    std::fill_n(image + size_t(k) * width, width, white);
    std::fill_n(image + size_t(height - 1 - k) * width, width, white);
  }
  for (int32_t r = 0; r < height; ++r) {
    uint16_t* row = image + size_t(r) * width;
    std::fill_n(row, kBorderMaskWidth, white);
    std::fill_n(row + width - kBorderMaskWidth, kBorderMaskWidth, white);
  }
}

}  // namespace tavrix
