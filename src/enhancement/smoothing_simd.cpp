// The fast convolution, written once and compiled per target: the interior
// of the image, one register of doubles per group of pixels.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "enhancement/enhancement_engine.h"
#include "enhancement/smoothing.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

// Each lane is one pixel and runs the plain pixel's sum unchanged: start at 0,
// kernel rows in order, columns in order, one rounding per product and sum.
// Several vectors at once keep independent sums in flight, and the rows the
// kernel covers are widened to double once, in a strip small enough for the
// stack, instead of once per weight.
template <int N>
void ConvolveInteriorLanes(uint16_t* source, const uint16_t* copy, const double* kernel,
                           int32_t radius, int32_t width, int32_t height, double inverse) {
  using L = Lanes<N>;
  using Double = typename L::Double;
  constexpr int32_t kVectors = N == 2 ? 4 : 8;  // as many sums as the registers hold
  constexpr int32_t kStrip = 256;  // output columns per strip
  constexpr int32_t kSpan = kStrip + 2 * kMaxKernelRadius;
  constexpr int32_t kPrefetchRows = 4;
  double rows[kMaxKernelSize][kSpan];
  const int32_t size = 2 * radius + 1;
  const Double zero = {};
  const Double largest = zero + 65535.0;

  // Outputs x of the strip from the widened rows of the kernel around row y.
  auto convolve = [&](int32_t y, int32_t x, uint16_t* out, auto vectors) {
    constexpr int32_t kCount = decltype(vectors)::value;
    Double acc[kCount];
    for (int32_t b = 0; b < kCount; ++b) acc[b] = zero;
    for (int32_t i = 0; i < size; ++i) {
      const double* row = rows[(y - radius + i) % size] + x;
      for (int32_t j = 0; j < size; ++j) {
        const double weight = kernel[i * size + j];
        for (int32_t b = 0; b < kCount; ++b) {
          Double samples;
          std::memcpy(&samples, row + j + b * N, sizeof samples);
          acc[b] = acc[b] + samples * weight;
        }
      }
    }
    for (int32_t b = 0; b < kCount; ++b) {
      Double v = acc[b] * inverse;
      v = v > zero ? v : zero;  // NaN too, as the plain guard does
      v = v < largest ? v : largest;
      L::StoreSamples(out + b * N, v);
    }
  };

  for (int32_t first = radius; first < width - radius; first += kStrip) {
    const int32_t count = Smaller(kStrip, width - radius - first);
    auto widen = [&](int32_t y) {
      const uint16_t* from = copy + ptrdiff_t(y) * width + (first - radius);
      double* to = rows[y % size];
      for (int32_t k = 0; k < count + 2 * radius; ++k) to[k] = double(from[k]);
      // A strip reads each row in a short piece: ask for a later row's ahead.
      if (y + kPrefetchRows < height) {
        const char* later = reinterpret_cast<const char*>(from + ptrdiff_t(kPrefetchRows) * width);
        for (int32_t b = 0; b < int32_t((count + 2 * radius) * sizeof(uint16_t)); b += 64)
          __builtin_prefetch(later + b);
      }
    };
    for (int32_t y = 0; y < 2 * radius; ++y) widen(y);
    for (int32_t y = radius; y < height - radius; ++y) {
      widen(y + radius);
      uint16_t* out = source + ptrdiff_t(y) * width + first;
      int32_t x = 0;
      for (; x + kVectors * N <= count; x += kVectors * N)
        convolve(y, x, out + x, std::integral_constant<int32_t, kVectors>());
      for (; x + N <= count; x += N) convolve(y, x, out + x, std::integral_constant<int32_t, 1>());
      for (; x < count; ++x) {
        double acc = 0.0;
        for (int32_t i = 0; i < size; ++i)
          for (int32_t j = 0; j < size; ++j)
            acc = acc + rows[(y - radius + i) % size][x + j] * kernel[i * size + j];
        out[x] = TruncateToSample(acc * inverse);
      }
    }
  }
}

}  // namespace

void ConvolveInterior(uint16_t* source, const uint16_t* copy, const double* kernel, int32_t radius,
                      int32_t width, int32_t height, double inverse) {
  ConvolveInteriorLanes<kDoubleLanes>(source, copy, kernel, radius, width, height, inverse);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
