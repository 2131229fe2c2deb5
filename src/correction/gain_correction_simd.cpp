// The gain of one row, written once and compiled per target: a register of
// words at a time, the products in double precision (exact: 16 by 24 bits),
// clamped as ClampToPixel clamps (NaN to 0) and truncated.
#include <cstdint>

#include "platform/kernels.h"
#include "platform/pixel_rules.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

// The gain map is twice the image's size and rarely in cache: it is asked
// for this far ahead.
constexpr int32_t kGainPrefetchAhead = 512;  // gains, 2 KB

uint16_t GainCorrected(uint16_t pixel, float gain) {
  const double x = double(pixel) * double(gain);
  if (!(x > 0.0)) return 0;
  if (x > double(kMaxPixelValue)) return uint16_t(kMaxPixelValue);
  return uint16_t(x);
}

}  // namespace

void ApplyGainRow(uint16_t* row, const float* gains, int32_t first, int32_t end) {
  using L = Lanes<kWordLanes>;
  using Double = L::Double;
  const Double zero = {};
  const Double high = zero + double(kMaxPixelValue);
  int32_t c = first;
  for (; c + kWordLanes <= end; c += kWordLanes) {
    // The address may lie past the map, so it is formed as an integer.
    PrefetchLine(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(gains + c) +
                                               kGainPrefetchAhead * sizeof(float)));
    Double x = L::LoadSamples(row + c) * L::LoadFloats(gains + c);
    x = x > zero ? x : zero;  // NaN too
    x = x < high ? x : high;
    L::StoreSamples(row + c, x);
  }
  for (; c < end; ++c) row[c] = GainCorrected(row[c], gains[c]);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
