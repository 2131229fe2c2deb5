#include "acquisition/read_frame.h"

#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "detector/detector.h"
#include "grabber/frame_grabber.h"

namespace tavrix {

static_assert(size_t(kRawLineWords) * 2 * kRawLineCount == size_t(kRawFrameBytes),
              "raw frame layout and byte count disagree");

namespace {

// Unscrambling transposes raw lines into image columns. Done line by line,
// every word lands on another row and the rows' pages overflow the TLB
// (about ten times slower), so the frame is walked in tiles of a few raw
// lines by a few words of each run, writing along image rows. Each word is
// still read once, with a fixed stride per run, and written once.
constexpr int32_t kTileLines = 32;  // 64 bytes of each image row per tile
constexpr int32_t kTileWords = 32;
static_assert(kReadoutColumns % kTileLines == 0 && kRunLength % kTileWords == 0,
              "tiles must cover the readout exactly");

// The frame's words need not be aligned.
inline uint16_t WordAt(const uint8_t* line, int32_t word) {
  uint16_t value;
  std::memcpy(&value, line + size_t(word) * 2, sizeof value);
  return value;
}

}  // namespace

void UnscrambleFramePlain(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  const size_t stride = size_t(width);
  for (int32_t c0 = 0; c0 < kReadoutColumns; c0 += kTileLines) {
    for (int32_t t0 = 0; t0 < kRunLength; t0 += kTileWords) {
      for (int32_t t = t0; t < t0 + kTileWords; ++t) {
        uint16_t* rowA = image + size_t(t) * stride + (width - 1);
        uint16_t* rowB = image + size_t(kRunLength + t) * stride + (width - 1);
        uint16_t* rowC = image + size_t(kRunLength - 1 - t) * stride;
        uint16_t* rowD = image + size_t(height - 1 - t) * stride;
        for (int32_t c = c0; c < c0 + kTileLines; ++c) {
          const uint8_t* line = rawFrame + size_t(kFirstImageRawLine + c) * kRawLineWords * 2;
          rowA[-c] = WordAt(line, kRunAStart + t);
          rowB[-c] = WordAt(line, kRunBStart + t);
          rowC[c] = WordAt(line, kRunCStart + t);
          rowD[c] = WordAt(line, kRunDStart + t);
        }
      }
    }
  }
}

void Detector::ReadFrame(uint16_t* target) {
  FetchRawFrame(rawFrame);
  UnscrambleFrame(rawFrame, target, width, height);
}

}  // namespace tavrix
