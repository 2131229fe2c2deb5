#include "enhancement/display_window.h"

#include <cmath>

#include "enhancement/log_map.h"

namespace tavrix {
namespace {

constexpr double kLowFraction = 0.03;
constexpr double kHighFraction = 0.97;
// Single-precision constant, widened: the product is formed in double.
constexpr float kGainPerStrength = 0.005f;

}  // namespace

float LogImageValue(uint16_t mapped) { return float(std::log(double(mapped) + 1.0)); }

void BuildLogImageTable(float* table) {
  for (size_t u = 0; u < kLogMapTableSize; ++u) table[u] = LogImageValue(uint16_t(u));
}

namespace {

// The bounds at the running counts of the filled histogram.
DisplayWindow WindowOfHistogram(const int32_t* histogram, size_t pixelCount) {
  const double total = double(pixelCount);
  const double lowThreshold = total * kLowFraction;
  const double highThreshold = total * kHighFraction;
  int64_t running = 0;
  bool lowFound = false;
  DisplayWindow window{0, 0};
  for (int32_t j = 0; j < kHistogramBins; ++j) {
    running += histogram[j];
    if (double(running) >= lowThreshold && !lowFound) {
      window.low = j;
      lowFound = true;
    }
    if (double(running) >= highThreshold && lowFound) {
      window.high = j;
      break;
    }
  }
  if (window.low == 0) window.low = 1;
  return window;
}

}  // namespace

DisplayWindow ComputeWindow(const uint16_t* mapped, size_t pixelCount, int32_t* histogram,
                            float* logImage, const float* logImageTable) {
  for (int32_t j = 0; j < kHistogramBins; ++j) histogram[j] = 0;
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint16_t u = mapped[i];
    logImage[i] = logImageTable[u];
    if (u > kHistogramBins - 1)
      ++histogram[kHistogramBins - 1];
    else
      ++histogram[u];
  }
  return WindowOfHistogram(histogram, pixelCount);
}

DisplayWindow LogMapAndComputeWindow(const uint16_t* source, uint16_t* mapped, size_t pixelCount,
                                     const uint16_t* logMapTable, int32_t* histogram,
                                     float* logImage, const float* logImageTable) {
  for (int32_t j = 0; j < kHistogramBins; ++j) histogram[j] = 0;
  constexpr uint16_t kLastBin = kHistogramBins - 1;
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint16_t u = logMapTable[source[i]];
    mapped[i] = u;
    logImage[i] = logImageTable[u];
    ++histogram[u < kLastBin ? u : kLastBin];
  }
  return WindowOfHistogram(histogram, pixelCount);
}

CorrectionScale ComputeGain(int32_t strength, DisplayWindow window) {
  CorrectionScale scale;
  scale.gain = float(double(strength) * double(kGainPerStrength));
  const float windowSum = float(window.low + window.high);
  scale.centre = float(std::log(double(windowSum)));
  return scale;
}

}  // namespace tavrix
