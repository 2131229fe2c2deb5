#include "acquisition/read_frame.h"

#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "grabber/frame_grabber.h"
#include "platform/streaming_clear.h"

namespace tavrix {

static_assert(size_t(kRawLineWords) * 2 * kRawLineCount == size_t(kRawFrameBytes),
              "raw frame layout and byte count disagree");

namespace {

// The frame's words need not be aligned.
inline uint16_t WordAt(const uint8_t* line, int32_t word) {
  uint16_t value;
  std::memcpy(&value, line + size_t(word) * 2, sizeof value);
  return value;
}

inline void PutWord(uint8_t* line, int32_t word, uint16_t value) {
  std::memcpy(line + size_t(word) * 2, &value, sizeof value);
}

}  // namespace

void UnscrambleFramePlain(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  const size_t stride = size_t(width);
  for (int32_t c = 0; c < kReadoutColumns; ++c) {
    const uint8_t* line = rawFrame + size_t(kFirstImageRawLine + c) * kRawLineWords * 2;
    uint16_t* right = image + (width - 1 - c);
    uint16_t* left = image + c;
    for (int32_t t = 0; t < kRunLength; ++t) {
      right[size_t(t) * stride] = WordAt(line, kRunAStart + t);
      right[size_t(kRunLength + t) * stride] = WordAt(line, kRunBStart + t);
      left[size_t(kRunLength - 1 - t) * stride] = WordAt(line, kRunCStart + t);
      left[size_t(height - 1 - t) * stride] = WordAt(line, kRunDStart + t);
    }
  }
}

void ScrambleFrame(const uint16_t* image, uint8_t* rawFrame, int32_t width, int32_t height) {
  std::memset(rawFrame, 0, size_t(kRawFrameBytes));
  const size_t stride = size_t(width);
  for (int32_t c = 0; c < kReadoutColumns; ++c) {
    uint8_t* line = rawFrame + size_t(kFirstImageRawLine + c) * kRawLineWords * 2;
    const uint16_t* right = image + (width - 1 - c);
    const uint16_t* left = image + c;
    for (int32_t t = 0; t < kRunLength; ++t) {
      PutWord(line, kRunAStart + t, right[size_t(t) * stride]);
      PutWord(line, kRunBStart + t, right[size_t(kRunLength + t) * stride]);
      PutWord(line, kRunCStart + t, left[size_t(kRunLength - 1 - t) * stride]);
      PutWord(line, kRunDStart + t, left[size_t(height - 1 - t) * stride]);
    }
  }
}

void ReadOutFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height) {
  UnscrambleFrame(rawFrame, image, width, height);
  ClearDatalessColumns(image, width, height);
}

void ClearDatalessColumns(uint16_t* image, int32_t width, int32_t height) {
  const int32_t first = kReadoutColumns;
  const int32_t count = width - 2 * kReadoutColumns;
  if (count <= 0 || height <= 0) return;
  // Streamed, as the readout writes the rest of each row.
  ClearStreamingRows(image + first, size_t(count) * sizeof(uint16_t), ptrdiff_t(width) * ptrdiff_t(sizeof(uint16_t)),
                     size_t(height));
}

}  // namespace tavrix
