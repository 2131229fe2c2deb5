#include "enhancement/display_window.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

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

namespace {

// Pixels of one step of the single pass: their mapped values leave in one
// 128-bit store and their log-image floats in two, where a store per value
// would hold the loop up.
constexpr size_t kStepPixels = sizeof(__m128i) / sizeof(uint16_t);
constexpr size_t kFloatLanes = sizeof(__m128) / sizeof(float);
constexpr int32_t kLastBin = kHistogramBins - 1;

__m128i PackMapped(const uint32_t* u) {
  __m128i packed = _mm_cvtsi32_si128(int(u[0]));
  packed = _mm_insert_epi16(packed, int(u[1]), 1);
  packed = _mm_insert_epi16(packed, int(u[2]), 2);
  packed = _mm_insert_epi16(packed, int(u[3]), 3);
  packed = _mm_insert_epi16(packed, int(u[4]), 4);
  packed = _mm_insert_epi16(packed, int(u[5]), 5);
  packed = _mm_insert_epi16(packed, int(u[6]), 6);
  packed = _mm_insert_epi16(packed, int(u[7]), 7);
  return packed;
}

__m128 LogImageLanes(const float* logImageTable, const uint32_t* u) {
  return _mm_setr_ps(logImageTable[u[0]], logImageTable[u[1]], logImageTable[u[2]],
                     logImageTable[u[3]]);
}

// The histogram from the counts of every mapped value: those past its last
// bin all land in that bin.
void FoldValueCounts(const int32_t* valueCounts, int32_t* histogram) {
  for (int32_t j = 0; j < kLastBin; ++j) histogram[j] = valueCounts[j];
  int32_t last = 0;
  for (size_t u = kLastBin; u < kLogMapValueCount; ++u) last += valueCounts[u];
  histogram[kLastBin] = last;
}

}  // namespace

DisplayWindow LogMapAndComputeWindow(const uint16_t* source, uint16_t* mapped, size_t pixelCount,
                                     const uint16_t* logMapTable, int32_t* histogram,
                                     float* logImage, const float* logImageTable,
                                     int32_t* valueCounts) {
  // Counting every value apart spares each pixel the clamp to the last bin.
  std::memset(valueCounts, 0, kLogMapValueCount * sizeof(int32_t));
  size_t i = 0;
  for (; i + kStepPixels <= pixelCount; i += kStepPixels) {
    // The whole step is read before anything is stored: source may be mapped.
    uint32_t u[kStepPixels];
    for (size_t k = 0; k < kStepPixels; ++k) u[k] = logMapTable[source[i + k]];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mapped + i), PackMapped(u));
    for (size_t k = 0; k < kStepPixels; k += kFloatLanes)
      _mm_storeu_ps(logImage + i + k, LogImageLanes(logImageTable, u + k));
    for (size_t k = 0; k < kStepPixels; ++k) ++valueCounts[u[k]];
  }
  for (; i < pixelCount; ++i) {
    const uint16_t u = logMapTable[source[i]];
    mapped[i] = u;
    logImage[i] = logImageTable[u];
    ++valueCounts[u];
  }
  FoldValueCounts(valueCounts, histogram);
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
