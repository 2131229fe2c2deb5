#include "image_files.h"

#include <png.h>
#include <tiffio.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "correction/border_mask.h"

namespace tavrix_tools {

namespace {

constexpr double kLowPercentile = 0.01;
constexpr double kHighPercentile = 0.99;

bool CarriesPanelData(int32_t column, int32_t width) {
  return column < tavrix::kReadoutColumns || column >= width - tavrix::kReadoutColumns;
}

}  // namespace

DisplayWindow PercentileWindow(const uint16_t* image, int32_t width, int32_t height) {
  std::vector<uint64_t> histogram(65536, 0);
  uint64_t count = 0;
  const int32_t border = tavrix::kBorderMaskWidth;
  for (int32_t r = border; r < height - border; ++r) {
    for (int32_t c = border; c < width - border; ++c) {
      if (!CarriesPanelData(c, width)) continue;
      ++histogram[image[size_t(r) * size_t(width) + size_t(c)]];
      ++count;
    }
  }
  DisplayWindow window{0, 0};
  if (count == 0) return window;
  const uint64_t lowRank = uint64_t(double(count) * kLowPercentile);
  const uint64_t highRank = uint64_t(double(count) * kHighPercentile);
  uint64_t seen = 0;
  bool lowFound = false;
  for (uint32_t v = 0; v < histogram.size(); ++v) {
    seen += histogram[v];
    if (!lowFound && seen > lowRank) {
      window.low = uint16_t(v);
      lowFound = true;
    }
    if (seen > highRank) {
      window.high = uint16_t(v);
      break;
    }
  }
  return window;
}

std::string WriteTiff16(const std::string& path, const uint16_t* image, int32_t width, int32_t height) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) return "cannot create " + path;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  std::vector<uint16_t> row(static_cast<size_t>(width));
  bool ok = true;
  for (int32_t r = 0; r < height && ok; ++r) {
    std::memcpy(row.data(), image + size_t(r) * size_t(width), row.size() * sizeof(uint16_t));
    ok = TIFFWriteScanline(tiff, row.data(), uint32_t(r), 0) == 1;
  }
  TIFFClose(tiff);
  return ok ? std::string() : "cannot write " + path;
}

namespace {

// libpng reports errors by longjmp; keep the setjmp frame free of objects
// with destructors.
bool WritePngRows(std::FILE* file, png_bytep* rows, int32_t width, int32_t height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string WritePngPreview(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                            DisplayWindow window) {
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<uint8_t> grey(pixels);
  const double span = window.high > window.low ? double(window.high - window.low) : 1.0;
  for (size_t i = 0; i < pixels; ++i) {
    const double v = (double(image[i]) - window.low) * 255.0 / span;
    grey[i] = v <= 0.0 ? 0 : v >= 255.0 ? 255 : uint8_t(v);
  }
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t r = 0; r < height; ++r) rows[size_t(r)] = grey.data() + size_t(r) * size_t(width);

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot create " + path + ": " + std::strerror(errno);
  const bool written = WritePngRows(file, rows.data(), width, height);
  const bool closed = std::fclose(file) == 0;
  return written && closed ? std::string() : "cannot write " + path;
}

}  // namespace tavrix_tools
