#include "enhancement/display_window.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <type_traits>

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
constexpr size_t kChunkPixels = 4096;
constexpr int32_t kLastBin = kHistogramBins - 1;

// The histogram from the counts of every mapped value, summed over their
// copies: those past its last bin all land in that bin.
void FoldValueCounts(const int32_t* valueCounts, int32_t* histogram) {
  auto count = [valueCounts](size_t u) {
    int32_t sum = 0;
    for (size_t copy = 0; copy < kValueCountCopies; ++copy) sum += valueCounts[copy * kLogMapValueCount + u];
    return sum;
  };
  for (int32_t j = 0; j < kLastBin; ++j) histogram[j] = count(size_t(j));
  int32_t last = 0;
  for (size_t u = kLastBin; u < kLogMapValueCount; ++u) last += count(u);
  histogram[kLastBin] = last;
}

}  // namespace

DisplayWindow LogMapAndComputeWindow(const uint16_t* source, uint16_t* mapped, size_t pixelCount,
                                     const uint16_t* logMapTable, int32_t* histogram,
                                     float* logImage, const float* logImageTable,
                                     int32_t* valueCounts) {
  // Counting every value apart spares each pixel the clamp to the last bin.
  std::memset(valueCounts, 0, kValueCountElements * sizeof(int32_t));
  static_assert(kValueCountCopies == 4, "one copy for each value of a step");
  // Value `lane` of four: its log value, counted in copy `lane`. Each value is
  // taken out of the register as it is used: four at once would not stay in
  // the general registers of a 32-bit process.
  auto take = [&](__m128i four, auto lane) {
    constexpr int kLane = decltype(lane)::value;  // extraction wants a constant
    const int u = _mm_extract_epi16(four, kLane);
    ++valueCounts[kLane * kLogMapValueCount + u];
    return _mm_load_ss(logImageTable + u);
  };
  // Two passes over each chunk, the second reading the first's values while
  // they are still in the nearest cache: each pass keeps its pointers in the
  // general registers, which one pass doing both would not in a 32-bit process.
  for (size_t start = 0; start < pixelCount; start += kChunkPixels) {
    const size_t end = pixelCount - start < kChunkPixels ? pixelCount : start + kChunkPixels;
    size_t i = start;
    for (; i + kStepPixels <= end; i += kStepPixels) {
      // The whole step is read before anything is stored: source may be mapped.
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
    }
    for (; i < end; ++i) mapped[i] = logMapTable[source[i]];
    for (i = start; i + kStepPixels / 2 <= end; i += kStepPixels / 2) {
      const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(mapped + i));
      const __m128 f0 = take(four, std::integral_constant<int, 0>());
      const __m128 f1 = take(four, std::integral_constant<int, 1>());
      const __m128 f2 = take(four, std::integral_constant<int, 2>());
      const __m128 f3 = take(four, std::integral_constant<int, 3>());
      _mm_storeu_ps(logImage + i, _mm_movelh_ps(_mm_unpacklo_ps(f0, f1), _mm_unpacklo_ps(f2, f3)));
    }
    for (; i < end; ++i) {
      logImage[i] = logImageTable[mapped[i]];
      ++valueCounts[mapped[i]];
    }
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
