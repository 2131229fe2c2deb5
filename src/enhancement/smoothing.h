// Pre-smoothing: a normalised convolution with a square kernel whose weights
// fall off exponentially with the distance from its centre.
#pragma once

#include <cstdint>

namespace tavrix {

// Fills kernel[(2r + 1) x (2r + 1)], row-major, with 1 / e^(decay * d) for the
// distance d of each element from the centre. A radius below 1 leaves it alone.
void BuildKernel(int32_t radius, double decay, double* kernel);

// Convolves source in place with the kernel of the given radius. The copy
// (width x height) is what the sums read, so source can be overwritten pixel by
// pixel; the border of `radius` pixels keeps its values.
void ConvolveImage(uint16_t* source, uint16_t* copy, const double* kernel, int32_t radius,
                   int32_t width, int32_t height);

// BuildKernel, then ConvolveImage.
void SmoothImage(int32_t radius, double decay, double* kernel, uint16_t* source, uint16_t* copy,
                 int32_t width, int32_t height);

}  // namespace tavrix
