// A radiograph-like test picture built in memory: bright direct exposure
// around a body of soft tissue with denser bones, a heel-effect gradient, fine
// trabecular texture, a thin wire, a few dead pixels, quantum noise and the
// 40-pixel border mask of a corrected image. Header-only so that the
// benchmarks can use it without the test support library.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace tavrix_test {

inline std::vector<uint16_t> SyntheticRadiograph(int32_t width, int32_t height) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr int32_t kBorder = 40;
  constexpr double kMaxValue = 16383.0;
  std::vector<uint16_t> image(size_t(width) * size_t(height));
  uint32_t noiseState = 12345u;
  auto noise = [&noiseState]() {  // uniform in -0.5..0.5, reproducible
    noiseState = noiseState * 1664525u + 1013904223u;
    return double(noiseState >> 8) / double(1u << 24) - 0.5;
  };
  auto inEllipse = [](double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy;
  };
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const double x = double(c) / width, y = double(r) / height;
      // Attenuation path length, in arbitrary units, summed over structures.
      double path = 0.0;
      const double body = inEllipse(x, y, 0.5, 0.55, 0.36, 0.46);
      if (body < 1.0) path += 1.6 * std::sqrt(1.0 - body);
      for (double side : {0.33, 0.67}) {  // two long bones
        const double bone = inEllipse(x, y, side, 0.55, 0.05, 0.36);
        if (bone < 1.0) {
          path += 1.1 * std::sqrt(1.0 - bone);
          // Trabecular texture inside the bone.
          path += 0.08 * std::sin(2 * kPi * 90 * x) * std::sin(2 * kPi * 70 * y);
        }
      }
      const double spine = inEllipse(x, y, 0.5, 0.3, 0.04, 0.2);
      if (spine < 1.0) path += 1.4 * std::sqrt(1.0 - spine);
      // A thin wire, two pixels wide.
      if (std::abs(c - (width / 5 + r / 3)) <= 1 && r > height / 8 && r < height / 2) path += 1.5;
      // Heel effect: intensity falls from left to right.
      const double heel = 1.0 - 0.25 * x;
      double value = 15000.0 * heel * std::exp(-1.2 * path);
      value += value > 0 ? 0.02 * std::sqrt(value) * 40.0 * noise() : 0.0;
      if (value < 0.0) value = 0.0;
      if (value > kMaxValue) value = kMaxValue;
      image[size_t(r) * width + c] = uint16_t(value);
    }
  }
  // A cluster of dead pixels and the border mask.
  for (int32_t i = 0; i < 5; ++i) image[size_t(height / 3 + i) * width + width / 3] = 0;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c)
      if (r < kBorder || c < kBorder || r >= height - kBorder || c >= width - kBorder)
        image[size_t(r) * width + c] = uint16_t(kMaxValue);
  return image;
}

}  // namespace tavrix_test
