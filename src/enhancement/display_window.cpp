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
constexpr int32_t kLastBin = kHistogramBins - 1;

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
    // The values are taken back out of the register: eight of them would
    // not stay in the general registers of a 32-bit process.
    __m128i packed = _mm_setzero_si128();
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 0]], 0);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 1]], 1);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 2]], 2);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 3]], 3);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 4]], 4);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 5]], 5);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 6]], 6);
    packed = _mm_insert_epi16(packed, logMapTable[source[i + 7]], 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mapped + i), packed);
    const int u0 = _mm_extract_epi16(packed, 0), u1 = _mm_extract_epi16(packed, 1);
    const int u2 = _mm_extract_epi16(packed, 2), u3 = _mm_extract_epi16(packed, 3);
    _mm_storeu_ps(logImage + i, _mm_setr_ps(logImageTable[u0], logImageTable[u1], logImageTable[u2], logImageTable[u3]));
    ++valueCounts[u0]; ++valueCounts[u1]; ++valueCounts[u2]; ++valueCounts[u3];
    const int u4 = _mm_extract_epi16(packed, 4), u5 = _mm_extract_epi16(packed, 5);
    const int u6 = _mm_extract_epi16(packed, 6), u7 = _mm_extract_epi16(packed, 7);
    _mm_storeu_ps(logImage + i + 4, _mm_setr_ps(logImageTable[u4], logImageTable[u5], logImageTable[u6], logImageTable[u7]));
    ++valueCounts[u4]; ++valueCounts[u5]; ++valueCounts[u6]; ++valueCounts[u7];
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
