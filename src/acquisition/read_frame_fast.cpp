#include <cstddef>

#include "acquisition/read_frame.h"
#include "platform/instruction_set.h"
#include "platform/kernels.h"

namespace tavrix {

// What makes it fast: blocks of 8 raw lines by 8 words are moved with vector
// loads and in-register transposes, and each image row's cache line is
// streamed out whole (read_frame_simd.cpp).
void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  // The vector paths write whole cache lines of image rows, so rows must be a
  // multiple of 64 bytes long (the detector's are); other widths take the
  // plain copy.
  if (size_t(width) * sizeof *image % kCacheLineBytes != 0) {
    UnscrambleFramePlain(rawFrame, image, width, height);
    return;
  }
  ActiveKernels().UnscrambleFrame(rawFrame, image, width, height);
}

}  // namespace tavrix
