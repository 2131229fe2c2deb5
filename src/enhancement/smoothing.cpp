#include "enhancement/smoothing.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace tavrix {
void BuildKernel(int32_t radius, double decay, double* kernel) {
  if (radius < 1) return;
  const int32_t size = 2 * radius + 1;
  for (int32_t dy = -radius; dy <= radius; ++dy) {
    for (int32_t dx = -radius; dx <= radius; ++dx) {
      const double distance = std::sqrt(double(dx * dx + dy * dy));
      // 1 / e^(a d) rather than e^(-a d): the two can differ in the last bit.
      kernel[(dy + radius) * size + (dx + radius)] = 1.0 / std::exp(decay * distance);
    }
  }
}

double InverseKernelNorm(const double* kernel, int32_t size) {
  double norm = 0.0;
  for (int32_t i = 0; i < size; ++i)
    for (int32_t j = 0; j < size; ++j) norm = norm + kernel[i * size + j];
  if (norm < 1.0) norm = 1.0;
  return 1.0 / norm;
}

void ConvolveImagePlain(uint16_t* source, uint16_t* copy, const double* kernel, int32_t radius,
                        int32_t width, int32_t height) {
  const int32_t size = 2 * radius + 1;
  std::memcpy(copy, source, size_t(width) * size_t(height) * sizeof(uint16_t));
  const double inverse = InverseKernelNorm(kernel, size);

  for (int32_t y = radius; y < height - radius; ++y) {
    for (int32_t x = radius; x < width - radius; ++x) {
      double acc = 0.0;
      for (int32_t i = 0; i < size; ++i) {
        const uint16_t* row = copy + size_t(y - radius + i) * size_t(width) + size_t(x - radius);
        for (int32_t j = 0; j < size; ++j) acc = acc + double(row[j]) * kernel[i * size + j];
      }
      source[size_t(y) * size_t(width) + size_t(x)] = TruncateToSample(acc * inverse);
    }
  }
}

void SmoothImagePlain(int32_t radius, double decay, double* kernel, uint16_t* source,
                      uint16_t* copy, int32_t width, int32_t height) {
  if (radius < 1) return;
  BuildKernel(radius, decay, kernel);
  ConvolveImagePlain(source, copy, kernel, radius, width, height);
}

void SmoothImage(int32_t radius, double decay, double* kernel, uint16_t* source, uint16_t* copy,
                 int32_t width, int32_t height) {
  if (radius < 1) return;
  BuildKernel(radius, decay, kernel);
  ConvolveImage(source, copy, kernel, radius, width, height);
}

}  // namespace tavrix
