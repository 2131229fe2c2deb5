// Images and calibration maps built in memory for the correction steps, in
// the layout the steps take: a row-major image, a pixel map of
// (height + 1) x (width + 1) bytes and a gain map of height x width floats,
// each map handed over as an array of row pointers. Header-only, so that the
// benchmarks can use it too.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace tavrix_test {

class TestImage {
 public:
  TestImage(int32_t width, int32_t height, uint16_t value = 0)
      : width_(width), height_(height), pixels_(size_t(width) * height, value) {}

  uint16_t& operator()(int32_t r, int32_t c) { return pixels_[size_t(r) * width_ + c]; }
  uint16_t operator()(int32_t r, int32_t c) const { return pixels_[size_t(r) * width_ + c]; }
  uint16_t* data() { return pixels_.data(); }
  std::vector<uint16_t>& pixels() { return pixels_; }
  const std::vector<uint16_t>& pixels() const { return pixels_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  void FillRow(int32_t r, int32_t firstColumn, int32_t endColumn, uint16_t value) {
    for (int32_t c = firstColumn; c < endColumn; ++c) (*this)(r, c) = value;
  }
  void FillColumn(int32_t c, uint16_t value) {
    for (int32_t r = 0; r < height_; ++r) (*this)(r, c) = value;
  }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<uint16_t> pixels_;
};

// Storage of a map plus the row pointers the steps take. Not copyable: the
// pointers point into this object's storage.
template <class T>
class RowMap {
 public:
  RowMap(int32_t columns, int32_t rows, T value) : columns_(columns), values_(size_t(columns) * rows, value) {
    for (int32_t r = 0; r < rows; ++r) pointers_.push_back(values_.data() + size_t(r) * columns);
  }
  RowMap(const RowMap&) = delete;
  RowMap& operator=(const RowMap&) = delete;

  T& operator()(int32_t r, int32_t c) { return values_[size_t(r) * columns_ + c]; }
  const T* const* rows() const { return pointers_.data(); }
  std::vector<T>& values() { return values_; }

 private:
  int32_t columns_;
  std::vector<T> values_;
  std::vector<const T*> pointers_;
};

// Byte (r, c) for the pixels, (r, width) the row flags, (height, c) the column flags.
class TestPixelMap : public RowMap<uint8_t> {
 public:
  TestPixelMap(int32_t width, int32_t height, uint8_t value = 0)
      : RowMap(width + 1, height + 1, value), width_(width), height_(height) {}
  void SetRowFlag(int32_t r, uint8_t flag) { (*this)(r, width_) = flag; }
  void SetColumnFlag(int32_t c, uint8_t flag) { (*this)(height_, c) = flag; }

 private:
  int32_t width_;
  int32_t height_;
};

class TestGainMap : public RowMap<float> {
 public:
  TestGainMap(int32_t width, int32_t height, float value = 1.0f) : RowMap(width, height, value) {}
};

// Every pixel drawn uniformly from 0..maxValue.
inline TestImage RandomImage(int32_t width, int32_t height, uint32_t seed, uint16_t maxValue = 65535) {
  TestImage image(width, height);
  std::mt19937 random(seed);
  for (uint16_t& pixel : image.pixels()) pixel = uint16_t(random() % (maxValue + 1u));
  return image;
}

// A plausible exposure: a bright open field falling off towards the corners,
// a darker rounded body across the middle, Gaussian noise of a few counts.
inline TestImage SimulatedExposure(int32_t width, int32_t height, uint32_t seed) {
  TestImage image(width, height);
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 40.0);
  const double cx = width / 2.0, cy = height / 2.0;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const double dx = (c - cx) / cx, dy = (r - cy) / cy;
      double value = 12000.0 - 3000.0 * (dx * dx + dy * dy);
      const double body = 1.0 - (dx * dx) / 0.36 - (dy * dy) / 0.7;
      if (body > 0) value -= 7000.0 * std::sqrt(body);
      value += noise(random);
      image(r, c) = uint16_t(std::fmin(std::fmax(value, 0.0), 16383.0));
    }
  }
  return image;
}

// A gain map within a few per cent of 1, smooth across the panel.
inline void FillRealisticGains(TestGainMap& gains, int32_t width, int32_t height) {
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c)
      gains(r, c) = float(1.0 + 0.03 * std::sin(r * 0.01) * std::cos(c * 0.013));
}

// `count` defective pixels at random positions inside the image, about a
// fifth of them with the fill code.
inline void AddRandomDefects(TestPixelMap& map, int32_t width, int32_t height, int32_t count, uint32_t seed) {
  std::mt19937 random(seed);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t r = int32_t(random() % uint32_t(height));
    const int32_t c = int32_t(random() % uint32_t(width));
    map(r, c) = random() % 5 == 0 ? 2 : 1;
  }
}

// A checkerboard of two values, `a` at (0, 0).
inline TestImage Checkerboard(int32_t width, int32_t height, uint16_t a, uint16_t b) {
  TestImage image(width, height);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c) image(r, c) = (r + c) % 2 ? b : a;
  return image;
}

}  // namespace tavrix_test
