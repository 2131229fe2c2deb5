// Pre-smoothing: a normalised convolution with a square kernel whose weights
// fall off exponentially with the distance from its centre.
#pragma once

#include <cstdint>

namespace tavrix {

// The weights are positive and normalised, so a sum never leaves the range of
// its neighbourhood; the guard only keeps the conversion defined whatever comes.
// Internal to each file: the wide-vector files compile it with their own
// instructions, and an unoptimised build must not link their copy into the
// baseline path.
static inline uint16_t TruncateToSample(double value) {
  if (!(value > 0.0)) return 0;
  if (value >= 65535.0) return 65535;
  return uint16_t(value);
}

// Fills kernel[(2r + 1) x (2r + 1)], row-major, with 1 / e^(decay * d) for the
// distance d of each element from the centre. A radius below 1 leaves it alone.
void BuildKernel(int32_t radius, double decay, double* kernel);

// 1 / (sum of the size x size weights, added row by row), the sum at least 1.
double InverseKernelNorm(const double* kernel, int32_t size);

// Convolves source in place with the kernel of the given radius. The copy
// (width x height) is what the sums read, so source can be overwritten pixel by
// pixel; the border of `radius` pixels keeps its values. ConvolveImage is the
// one a run uses; ConvolveImagePlain, one pixel at a time, is what it must equal.
void ConvolveImage(uint16_t* source, uint16_t* copy, const double* kernel, int32_t radius,
                   int32_t width, int32_t height);
void ConvolveImagePlain(uint16_t* source, uint16_t* copy, const double* kernel, int32_t radius,
                        int32_t width, int32_t height);

// BuildKernel, then ConvolveImage (or ConvolveImagePlain).
void SmoothImage(int32_t radius, double decay, double* kernel, uint16_t* source, uint16_t* copy,
                 int32_t width, int32_t height);
void SmoothImagePlain(int32_t radius, double decay, double* kernel, uint16_t* source,
                      uint16_t* copy, int32_t width, int32_t height);

}  // namespace tavrix
