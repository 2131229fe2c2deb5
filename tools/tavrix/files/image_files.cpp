#include "files/image_files.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/command_line.h"
#include "files/input_files.h"
#include "system/native_paths.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

constexpr double kLowPercentile = 0.01;
constexpr double kHighPercentile = 0.99;
// Strips of about this many bytes: small enough for any reader's buffers.
constexpr size_t kStripBytes = 64 * 1024;
constexpr double kMillimetresPerCentimetre = 10.0;

}  // namespace

DisplayWindow PercentileWindow(const uint16_t* image, int32_t width, int32_t height) {
  std::vector<uint64_t> histogram(65536, 0);
  uint64_t count = 0;
  const int32_t border = tavrix::kBorderMaskWidth;
  for (int32_t r = border; r < height - border; ++r) {
    for (int32_t c = border; c < width - border; ++c) {
      if (tavrix::internal::IsDatalessColumn(c)) continue;
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

std::string WriteTiff16(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                        const TiffTags& tags) {
  TIFF* tiff = OpenTiff(path, "w");
  if (tiff == nullptr) return "cannot create the file";
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, tags.deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
  if (tags.deflate) TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  const size_t rowBytes = size_t(width) * sizeof(uint16_t);
  const uint32_t rowsPerStrip = uint32_t(kStripBytes / rowBytes > 0 ? kStripBytes / rowBytes : 1);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (!tags.software.empty()) TIFFSetField(tiff, TIFFTAG_SOFTWARE, tags.software.c_str());
  if (!tags.dateTime.empty()) TIFFSetField(tiff, TIFFTAG_DATETIME, tags.dateTime.c_str());
  if (!tags.make.empty()) TIFFSetField(tiff, TIFFTAG_MAKE, tags.make.c_str());
  if (!tags.model.empty()) TIFFSetField(tiff, TIFFTAG_MODEL, tags.model.c_str());
  if (!tags.description.empty()) TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, tags.description.c_str());
  if (tags.pixelPitchMm > 0) {
    const float pixelsPerCentimetre = float(kMillimetresPerCentimetre / tags.pixelPitchMm);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, pixelsPerCentimetre);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, pixelsPerCentimetre);
  }
  bool ok = true;
  for (uint32_t first = 0, strip = 0; first < uint32_t(height) && ok; first += rowsPerStrip, ++strip) {
    const uint32_t rows = std::min(rowsPerStrip, uint32_t(height) - first);
    // libtiff may swap bytes in place; hand it a copy.
    std::vector<uint16_t> block(image + size_t(first) * size_t(width),
                                image + size_t(first + rows) * size_t(width));
    ok = TIFFWriteEncodedStrip(tiff, strip, block.data(), tmsize_t(block.size() * sizeof(uint16_t))) >= 0;
  }
  if (ok) ok = TIFFWriteDirectory(tiff) == 1;
  TIFFClose(tiff);
  return ok ? std::string() : "cannot write the image (disk full?)";
}

namespace {

// libpng reports errors by longjmp; keep the setjmp frame free of objects
// with destructors.
bool WritePngRows(std::FILE* file, png_bytep* rows, int32_t width, int32_t height, int colorType) {
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
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string WritePng(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height, int colorType,
                     int channels) {
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t r = 0; r < height; ++r)
    rows[size_t(r)] = const_cast<png_bytep>(pixels + size_t(r) * size_t(width) * size_t(channels));
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) return std::string("cannot create the file: ") + std::strerror(errno);
  const bool written = WritePngRows(file, rows.data(), width, height, colorType);
  const bool closed = std::fclose(file) == 0;
  return written && closed ? std::string() : "cannot write the picture (disk full?)";
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
  return WritePng(path, grey.data(), width, height, PNG_COLOR_TYPE_GRAY, 1);
}

std::string WritePngRgb(const std::string& path, const uint8_t* rgb, int32_t width, int32_t height) {
  return WritePng(path, rgb, width, height, PNG_COLOR_TYPE_RGB, 3);
}

namespace {

std::vector<uint16_t> ReadTiff16(const std::string& path, int32_t width, int32_t height) {
  TIFFSetWarningHandler(nullptr);
  TIFF* tiff = OpenTiff(path, "r");
  if (tiff == nullptr) throw Failure(path + ": not a readable TIFF");
  uint32_t w = 0, h = 0;
  uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  if (bits != 16 || samples != 1 || format != SAMPLEFORMAT_UINT || w != uint32_t(width) || h != uint32_t(height)) {
    TIFFClose(tiff);
    throw Failure(path + ": " + std::to_string(w) + " x " + std::to_string(h) + ", " + std::to_string(samples) +
                  " channel(s) of " + std::to_string(bits) + " bits; expected " + std::to_string(width) + " x " +
                  std::to_string(height) + ", 1 channel of 16-bit unsigned integers");
  }
  // Pixels are taken as stored: a file that says they mean something else
  // (inverted, rotated, mirrored) is refused rather than misread.
  uint16_t photometric = PHOTOMETRIC_MINISBLACK, orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = PHOTOMETRIC_MINISBLACK;
  if (photometric != PHOTOMETRIC_MINISBLACK || orientation != ORIENTATION_TOPLEFT) {
    TIFFClose(tiff);
    throw Failure(path + ": " +
                  (photometric != PHOTOMETRIC_MINISBLACK
                       ? "Photometric " + std::to_string(photometric) + (photometric == PHOTOMETRIC_MINISWHITE ? " (min-is-white)" : "")
                       : "Orientation " + std::to_string(orientation)) +
                  "; only min-is-black (Photometric 1) images stored top-left first (Orientation 1) are read");
  }
  if (const tdir_t pages = TIFFNumberOfDirectories(tiff); pages > 1) {
    TIFFClose(tiff);
    throw Failure(path + ": holds " + std::to_string(pages) + " images; give one image a file");
  }
  std::vector<uint16_t> image(size_t(width) * size_t(height));
  bool ok = true;
  for (uint32_t r = 0; r < h && ok; ++r) ok = TIFFReadScanline(tiff, image.data() + size_t(r) * w, r, 0) == 1;
  TIFFClose(tiff);
  if (!ok) throw Failure(path + ": cannot read the TIFF's pixels");
  return image;
}

std::vector<uint16_t> ReadRaw16(const std::string& path, int32_t width, int32_t height) {
  std::FILE* file = OpenRegularFile(path).release();
  const size_t expected = size_t(width) * size_t(height) * sizeof(uint16_t);
  std::vector<uint8_t> bytes(expected + 1);
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  const bool error = std::ferror(file) != 0;
  std::fclose(file);
  if (error) throw Failure(path + ": read error");
  if (got != expected) {
    const std::string format = RecognisedFormat(path);
    throw Failure(path + ": " + (format.empty() ? "" : "it is " + format + " of ") + (got > expected ? "more than " : "") +
                  std::to_string(got) + " bytes; a 16-bit single-channel TIFF or a raw image of " +
                  std::to_string(expected) + " bytes (" + std::to_string(width) + " x " + std::to_string(height) +
                  " 16-bit pixels) is expected");
  }
  std::vector<uint16_t> image(size_t(width) * size_t(height));
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return image;
}

bool HasTiffSignature(const std::string& path) {
  std::FILE* file = OpenRegularFile(path).release();
  unsigned char head[4] = {0, 0, 0, 0};
  const size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  return got == 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                      (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42));
}

}  // namespace

std::vector<uint16_t> ReadImage16(const std::string& path, int32_t width, int32_t height) {
  return HasTiffSignature(path) ? ReadTiff16(path, width, height) : ReadRaw16(path, width, height);
}

}  // namespace tavrix_tool
