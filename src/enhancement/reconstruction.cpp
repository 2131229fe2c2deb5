#include "enhancement/reconstruction.h"

#include <cmath>
#include <cstddef>

#include "platform/pixel_rules.h"
#include "platform/wait.h"

namespace tavrix {
namespace {

// Single-precision constant; with the strength it forms the offset in double.
constexpr float kOffsetPerStrength = 0.01f;
constexpr double kOffsetScale = 4.0;

}  // namespace

double FinalOffset(int32_t strength) {
  return double(strength) * double(kOffsetPerStrength) * kOffsetScale;
}

uint16_t FinalPixel(double v, float logValue, double offset) {
  const double x = v + double(logValue) + offset;
  return ClampToPixel(std::exp(x) - 1.0);
}

double InterpolatedSample(const float* source, int32_t stride, int32_t columns, int32_t rows,
                          int32_t r, int32_t c) {
  auto at = [&](int32_t row, int32_t column) { return double(source[ptrdiff_t(row) * stride + column]); };
  const int32_t r0 = r / 2;
  const int32_t r1 = NextOrLast(r0, rows);
  const int32_t c0 = c / 2;
  const int32_t c1 = NextOrLast(c0, columns);
  if (r % 2 == 0 && c % 2 == 0) return at(r0, c0);
  if (r % 2 == 0) return (at(r0, c0) + at(r0, c1)) * 0.5;
  if (c % 2 == 0) return (at(r0, c0) + at(r1, c0)) * 0.5;
  return (at(r0, c0) + at(r0, c1) + at(r1, c0) + at(r1, c1)) * 0.25;
}

void UpsampleLevelPlain(const float* source, float* plane, int32_t stride, int32_t columns,
                        int32_t rows, const FinalOutput& output, bool last) {
  const double offset = FinalOffset(output.strength);
  for (int32_t r = 0; r < 2 * rows; ++r) {
    for (int32_t c = 0; c < 2 * columns; ++c) {
      const double v = InterpolatedSample(source, stride, columns, rows, r, c);
      const ptrdiff_t i = ptrdiff_t(r) * stride + c;
      if (!last) {
        plane[i] = float(v);
        continue;
      }
      output.image[i] = FinalPixel(v, output.logImage[i], offset);
    }
  }
}

void Reconstruct(float* band, float* other, const FinalOutput& output, int32_t stride,
                 int32_t columns, int32_t rows, int32_t levels, UpsampleFunction upsample) {
  for (int32_t i = 0; i < levels; ++i) {
    SleepMilliseconds(0);  // a long run lets the host's other threads in
    const bool even = i % 2 == 0;
    upsample(even ? band : other, even ? other : band, stride, columns, rows, output,
             i == levels - 1);
    columns *= 2;
    rows *= 2;
  }
}

}  // namespace tavrix
