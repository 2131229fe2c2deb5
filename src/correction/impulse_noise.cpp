#include "correction/impulse_noise.h"

#include <cstddef>
#include <cstdlib>

#include "platform/pixel_rules.h"

namespace tavrix {

namespace {

// Both factors are single-precision constants multiplied in double precision;
// their float values (just off 0.04 and 0.2) decide which pixels count as outliers.
constexpr float kMeanFactor = 0.04f;
constexpr float kBandFactor = 0.2f;

struct Band {
  int32_t lo;
  int32_t hi;
  bool Contains(int32_t v) const { return lo <= v && v <= hi; }
};

// Band of accepted values for the window centred on (y, x), from its current values.
Band AcceptedBand(const uint16_t* image, int32_t width, int32_t y, int32_t x) {
  int32_t sum = 0;
  for (int32_t r = y - kImpulseWindowReach; r <= y + kImpulseWindowReach; ++r)
    for (int32_t c = x - kImpulseWindowReach; c <= x + kImpulseWindowReach; ++c) sum += image[size_t(r) * width + c];
  const int32_t mean = int32_t(double(sum) * double(kMeanFactor));

  int32_t deviation = 0;
  for (int32_t r = y - kImpulseWindowReach; r <= y + kImpulseWindowReach; ++r)
    for (int32_t c = x - kImpulseWindowReach; c <= x + kImpulseWindowReach; ++c)
      deviation += std::abs(int32_t(image[size_t(r) * width + c]) - mean);
  const double halfWidth = 2.0 * (double(deviation) * double(kBandFactor));

  // Truncation toward zero, also where mean - halfWidth is negative.
  return Band{int32_t(double(mean) - halfWidth), int32_t(double(mean) + halfWidth)};
}

}  // namespace

bool FilterImpulseNoiseAt(uint16_t* image, int32_t width, int32_t y, int32_t x) {
  uint16_t& pixel = image[size_t(y) * width + x];
  const Band band = AcceptedBand(image, width, y, x);
  if (band.Contains(pixel)) return false;

  int32_t sum = 0;
  int32_t count = 0;
  for (int32_t r = y - 1; r <= y + 1; ++r) {
    for (int32_t c = x - 1; c <= x + 1; ++c) {
      if (r == y && c == x) continue;
      const int32_t v = image[size_t(r) * width + c];
      if (!band.Contains(v)) continue;
      sum += v;
      ++count;
    }
  }
  // At most one neighbour can lie outside the band besides the centre, so count >= 7.
  pixel = ClampToPixel(double(sum) / double(count));
  return true;
}

void FilterImpulseNoisePlain(uint16_t* image, int32_t width, int32_t height) {
  // In place: a pixel replaced earlier in the pass enters later windows with its new value.
  for (int32_t y = kImpulseFirstTested; y <= height - 1 - kImpulseWindowReach; ++y)
    for (int32_t x = kImpulseFirstTested; x <= width - 1 - kImpulseWindowReach; ++x)
      FilterImpulseNoiseAt(image, width, y, x);
}

}  // namespace tavrix
