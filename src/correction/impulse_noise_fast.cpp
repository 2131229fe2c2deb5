#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "correction/impulse_noise.h"
#include "platform/kernels.h"

namespace tavrix {

// What makes it fast: whole runs of a row are tested at once in vector
// lanes, and only the rare pixels that may be outliers, plus the two after
// each replacement (whose windows it changed), take the exact test in order.
// The marking (impulse_noise_simd.cpp) first bounds each deviation sum from
// the window's three middle rows and reads the other two only for the few
// vectors that bound cannot clear.

namespace {

// Next nonzero mark at or after i, eight marks at a time.
int32_t NextMark(const uint8_t* marks, int32_t i, int32_t count) {
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, marks + i, sizeof word);
    if (word != 0) return i + __builtin_ctzll(word) / 8;  // marks are 0 or 0xFF
  }
  while (i < count && marks[i] == 0) ++i;
  return i;
}

// Asks for pixels to be brought into the cache ahead of use, one cache line at a time.
void PrefetchPixels(const uint16_t* pixels, int32_t count) {
  constexpr int32_t kLinePixels = 64 / sizeof(uint16_t);
  for (int32_t i = 0; i < count; i += kLinePixels)
    _mm_prefetch(reinterpret_cast<const char*>(pixels + i), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(pixels + count - 1), _MM_HINT_T0);
}

void FilterImpulseRows(uint16_t* image, int32_t width, int32_t height, const Kernels& kernels) {
  const int32_t lanes = kernels.impulseMarkLanes;
  const int32_t first = kImpulseFirstTested;
  const int32_t last = width - 1 - kImpulseWindowReach;
  uint8_t marks[kImpulseMarkRun];
  for (int32_t y = kImpulseFirstTested; y <= height - 1 - kImpulseWindowReach; ++y) {
    if (last + 1 - first < lanes) {
      for (int32_t x = first; x <= last; ++x) FilterImpulseNoiseAt(image, width, y, x);
      continue;
    }
    for (int32_t start = first; start <= last;) {
      // Every run holds at least one vector's worth of pixels.
      const int32_t remaining = last + 1 - start;
      const int32_t count = remaining <= kImpulseMarkRun ? remaining
                            : remaining - kImpulseMarkRun < lanes ? remaining - lanes
                                                                  : kImpulseMarkRun;
      // The row that the next row's windows add is fetched while this one is worked on.
      if (y + kImpulseWindowReach + 1 < height)
        PrefetchPixels(image + size_t(y + kImpulseWindowReach + 1) * width + start - kImpulseWindowReach,
                       count + 2 * kImpulseWindowReach);
      // Marked from the image as it is now: everything left of `start` is final.
      kernels.MarkImpulseCandidates(image, width, y, start, count, marks);
      // A replacement changes the windows of the next two pixels: they are
      // tested exactly whatever their marks say. Pixels beyond this run are
      // marked afresh by the next call.
      int32_t exactUntil = -1;
      for (int32_t i = NextMark(marks, 0, count); i < count;) {
        if (FilterImpulseNoiseAt(image, width, y, start + i)) exactUntil = i + kImpulseWindowReach;
        ++i;
        if (i > exactUntil) i = NextMark(marks, i, count);
      }
      start += count;
    }
  }
}

}  // namespace

void FilterImpulseNoise(uint16_t* image, int32_t width, int32_t height) {
  FilterImpulseRows(image, width, height, ActiveKernels());
}

}  // namespace tavrix
