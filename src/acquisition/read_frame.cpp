#include "acquisition/read_frame.h"

#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "detector/detector.h"
#include "grabber/frame_grabber.h"

namespace tavrix {

static_assert(size_t(kRawLineWords) * 2 * kRawLineCount == size_t(kRawFrameBytes),
              "raw frame layout and byte count disagree");

void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  const size_t stride = size_t(width);
  for (int32_t c = 0; c < kReadoutColumns; ++c) {
    const uint8_t* line = rawFrame + size_t(kFirstImageRawLine + c) * kRawLineWords * 2;
    uint16_t words[kRawLineWords];
    std::memcpy(words, line, sizeof words);  // the frame's words need not be aligned
    uint16_t* right = image + (width - 1 - c);
    uint16_t* left = image + c;
    const uint16_t* a = words + kRunAStart;
    const uint16_t* b = words + kRunBStart;
    const uint16_t* cRun = words + kRunCStart;
    const uint16_t* d = words + kRunDStart;
    for (int32_t t = 0; t < kRunLength; ++t) {
      right[size_t(t) * stride] = a[t];
      right[size_t(kRunLength + t) * stride] = b[t];
      left[size_t(kRunLength - 1 - t) * stride] = cRun[t];
      left[size_t(height - 1 - t) * stride] = d[t];
    }
  }
}

void Detector::ReadFrame(uint16_t* target) {
  FetchRawFrame(rawFrame);
  UnscrambleFrame(rawFrame, target, width, height);
}

}  // namespace tavrix
