// The fast decomposition level, written once and compiled per target:
// columns filtered many at once along the rows of the plane, rows filtered
// from their even and odd samples.
#include <cstring>
#include <cstddef>
#include <cstdint>

#include "enhancement/decomposition.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {


// Output p of a line (stored rotated by 2) is the sum over k of
// v[2m + k] * taps[5 - k] with m = p - 2 taken round the half length.
inline int32_t FirstSampleOfOutput(int32_t p, int32_t half) { return 2 * ((p - 2 + half) % half); }

// Every column of the block at once: one output row is the weighted sum of six
// source rows, each lane a column doing the plain column's sum. Rows 0 to 3
// are kept aside for the outputs that wrap round, so that the pass may work in
// place: outputs 2, 3, ... never read a row already overwritten but those.
template <int N>
void FilterColumnsLanes(int32_t columns, int32_t rows, const float* taps, const float* source,
                        float* destination, int32_t stride) {
  using L = Lanes<N>;
  using Double = typename L::Double;
  constexpr int32_t kBlock = 256;  // columns per block; the kept rows fit the stack
  constexpr int32_t kKeptRows = 4;
  constexpr int32_t kPrefetchRows = 4;
  float kept[kKeptRows][kBlock];
  double weights[kFastTaps] = {};
  for (int32_t k = 0; k < kFastTaps; ++k) weights[k] = double(taps[kFastTaps - 1 - k]);
  const int32_t half = rows / 2;
  const Double zero = {};

  for (int32_t first = 0; first < columns; first += kBlock) {
    const int32_t count = Smaller(kBlock, columns - first);
    for (int32_t t = 0; t < kKeptRows; ++t)
      std::memcpy(kept[t], source + ptrdiff_t(t) * stride + first, size_t(count) * sizeof(float));
    auto sourceRow = [&](int32_t t) -> const float* {
      if (t >= rows) t -= rows;  // periodic extension
      return t < kKeptRows ? kept[t] : source + ptrdiff_t(t) * stride + first;
    };
    auto output = [&](int32_t p) {
      const int32_t e = FirstSampleOfOutput(p, half);
      const float* in[kFastTaps];
      for (int32_t k = 0; k < kFastTaps; ++k) in[k] = sourceRow(e + k);
      float* out = destination + ptrdiff_t(p) * stride + first;
      // The block reads each row in a short piece: ask for the rows that the
      // outputs after next will add.
      if (e + kFastTaps + kPrefetchRows < rows) {
        for (int32_t t = e + kFastTaps + 2; t < e + kFastTaps + kPrefetchRows; ++t) {
          const char* later = reinterpret_cast<const char*>(source + ptrdiff_t(t) * stride + first);
          for (int32_t b = 0; b < int32_t(count * sizeof(float)); b += 64) __builtin_prefetch(later + b);
        }
      }
      int32_t x = 0;
      for (; x + N <= count; x += N) {
        Double sum = zero;
        for (int32_t k = 0; k < kFastTaps; ++k) sum = sum + L::LoadFloats(in[k] + x) * weights[k];
        L::StoreFloats(out + x, sum);
      }
      for (; x < count; ++x) {
        double sum = 0.0;
        for (int32_t k = 0; k < kFastTaps; ++k) sum = sum + double(in[k][x]) * weights[k];
        out[x] = float(sum);
      }
    };
    for (int32_t p = 2; p < half; ++p) output(p);
    output(0);
    output(1);
  }
}

// Each row split into its even and odd samples (in lineBuffer, so that the row
// can be overwritten), then N outputs at once from unit-stride loads.
template <int N>
void FilterRowsLanes(int32_t columns, int32_t rows, const float* taps, float* plane,
                     int32_t stride, float* lineBuffer) {
  using L = Lanes<N>;
  using Double = typename L::Double;
  double weights[kFastTaps] = {};
  for (int32_t k = 0; k < kFastTaps; ++k) weights[k] = double(taps[kFastTaps - 1 - k]);
  const int32_t half = columns / 2;
  float* even = lineBuffer;
  float* odd = lineBuffer + half;
  const Double zero = {};

  for (int32_t r = 0; r < rows; ++r) {
    float* row = plane + ptrdiff_t(r) * stride;
    for (int32_t t = 0; t < half; ++t) {
      even[t] = row[2 * t];
      odd[t] = row[2 * t + 1];
    }
    // Sample 2m + k is even[m + k/2] or odd[m + k/2], round the half length.
    int32_t m = 0;
    for (; m + N + 2 <= half; m += N) {  // no lane wraps round
      Double sum = zero;
      for (int32_t k = 0; k < kFastTaps; ++k)
        sum = sum + L::LoadFloats((k % 2 ? odd : even) + m + k / 2) * weights[k];
      L::StoreFloats(row + m + 2, sum);
    }
    for (; m < half; ++m) {
      double sum = 0.0;
      for (int32_t k = 0; k < kFastTaps; ++k) {
        const int32_t t = (m + k / 2) % half;
        const float sample = k % 2 ? odd[t] : even[t];
        sum = sum + double(sample) * weights[k];
      }
      row[(m + 2) % half] = float(sum);
    }
  }
}

}  // namespace

void FilterColumns(int32_t columns, int32_t rows, const float* taps, const float* source,
                   float* destination, int32_t stride) {
  FilterColumnsLanes<kDoubleLanes>(columns, rows, taps, source, destination, stride);
}

void FilterRows(int32_t columns, int32_t rows, const float* taps, float* plane, int32_t stride,
                float* lineBuffer) {
  FilterRowsLanes<kDoubleLanes>(columns, rows, taps, plane, stride, lineBuffer);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
