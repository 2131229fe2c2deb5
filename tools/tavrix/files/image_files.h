// Detector images as files: 16-bit TIFF with the record of how the image was
// made, 8-bit PNG previews and pictures, and reading stored images back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrix_tool {

// The grey levels shown black and white in a preview.
struct DisplayWindow {
  uint16_t low;
  uint16_t high;
};

// The 1st and 99th percentile of the pixels that carry panel data: inside
// the masked border and outside the columns the readout never delivers.
DisplayWindow PercentileWindow(const uint16_t* image, int32_t width, int32_t height);

// What a TIFF records beside the pixels.
struct TiffTags {
  std::string software;     // with the version
  std::string dateTime;     // "YYYY:MM:DD HH:MM:SS"
  std::string make, model;
  std::string description;  // one JSON object
  double pixelPitchMm = 0;  // 0: no resolution tags
  bool deflate = false;
};

// A 16-bit grayscale, min-is-black TIFF in strips of about 64 KB. Empty on
// success, else why not.
std::string WriteTiff16(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                        const TiffTags& tags);

// An 8-bit grayscale PNG: `window.low` and below black, `window.high` and
// above white, linear between. Empty on success, else why not.
std::string WritePngPreview(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                            DisplayWindow window);

// An 8-bit RGB PNG of `rgb` (3 bytes a pixel, row-major). Empty on success.
std::string WritePngRgb(const std::string& path, const uint8_t* rgb, int32_t width, int32_t height);

// A stored image: a single-channel 16-bit TIFF, or a headerless little-endian
// .raw of exactly width x height pixels. Throws Failure naming the file and
// what was found (channels, bits, size) when it is anything else.
std::vector<uint16_t> ReadImage16(const std::string& path, int32_t width, int32_t height);

}  // namespace tavrix_tool
