// The gain of one row, written once and compiled per target: a register of
// words at a time, the products in double precision (exact: 16 by 24 bits),
// clamped as ClampToPixel clamps (NaN to 0) and truncated.
#include <cstdint>
#include <cstring>

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
  const Float64 zero = {};
  const Float64 largest = zero + double(kMaxPixelValue);
  // The clamped products of kDoubleLanes pixels and their gains.
  auto products = [&](Float64 pixels, const float* g) { return ClampDoubles(pixels * LoadDoubles(g), zero, largest); };
  auto quarters = [&](Int32 pixels, const float* g) {
    return TruncateToInts(products(LowDoubles(pixels), g), products(HighDoubles(pixels), g + kDoubleLanes));
  };
  int32_t c = first;
  for (; c + kWordLanes <= end; c += kWordLanes) {
    // The address may lie past the map, so it is formed as an integer.
    PrefetchLine(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(gains + c) +
                                               kGainPrefetchAhead * sizeof(float)));
    Int32 low, high;
    WidenWordPair(row + c, low, high);
    const Words pixels = NarrowSmallToWords(quarters(low, gains + c), quarters(high, gains + c + kIntLanes));
    std::memcpy(row + c, &pixels, sizeof pixels);
  }
  for (; c < end; ++c) row[c] = GainCorrected(row[c], gains[c]);
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
