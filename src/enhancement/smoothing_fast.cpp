#include <cstring>

#include "enhancement/enhancement_engine.h"
#include "enhancement/smoothing.h"
#include "platform/kernels.h"

namespace tavrix {

// Many pixels per vector, each lane summing exactly as the plain pixel does,
// from rows widened once and laid out so that every load is aligned
// (smoothing_simd.cpp).
void ConvolveImage(uint16_t* source, uint16_t* copy, const double* kernel, int32_t radius,
                   int32_t width, int32_t height) {
  if (radius > kMaxKernelRadius) {  // wider than the strips hold; no run asks for it
    ConvolveImagePlain(source, copy, kernel, radius, width, height);
    return;
  }
  std::memcpy(copy, source, size_t(width) * size_t(height) * sizeof(uint16_t));
  const double inverse = InverseKernelNorm(kernel, 2 * radius + 1);
  // No interior row: the lanes would still fill their row window past the copy.
  if (height <= 2 * radius) return;
  ActiveKernels().ConvolveInterior(source, copy, kernel, radius, width, height, inverse);
}

}  // namespace tavrix
