// Writing detector images as files a person can open.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix_tools {

// The grey levels shown black and white in a preview.
struct DisplayWindow {
  uint16_t low;
  uint16_t high;
};

// The 1st and 99th percentile of the pixels that carry panel data: inside
// the masked border and outside the columns the readout never delivers.
DisplayWindow PercentileWindow(const uint16_t* image, int32_t width, int32_t height);

// A 16-bit grayscale TIFF of the image as it is. Empty on success, else why not.
std::string WriteTiff16(const std::string& path, const uint16_t* image, int32_t width, int32_t height);

// An 8-bit grayscale PNG: `window.low` and below black, `window.high` and
// above white, linear between. Empty on success, else why not.
std::string WritePngPreview(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                            DisplayWindow window);

}  // namespace tavrix_tools
