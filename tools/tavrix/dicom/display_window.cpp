#include "dicom/display_window.h"

namespace tavrix_tool {

VoiWindow VoiWindowShowing(DisplayWindow shown) {
  // DICOM's linear function is black up to c - 0.5 - (w - 1) / 2 and white
  // above c - 0.5 + (w - 1) / 2.
  const double low = shown.low;
  const double high = shown.high > shown.low ? shown.high : shown.low;
  VoiWindow window;
  window.width = high - low + 1;
  window.center = (low + high) / 2 + 0.5;
  return window;
}

VoiWindow DataAreaWindow(const uint16_t* image, int32_t width, int32_t height) {
  return VoiWindowShowing(PercentileWindow(image, width, height));
}

}  // namespace tavrix_tool
