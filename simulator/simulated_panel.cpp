#include "simulated_panel.h"

#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "platform/dimensions.h"
#include "grabber/frame_grabber.h"
#include "panel_model.h"

namespace pci_frm01_sim {

using namespace tavrix;

static_assert(size_t(kRawLineWords) * 2 * kRawLineCount == size_t(kRawFrameBytes),
              "raw frame layout and byte count disagree");

int64_t RawWordIndex(int32_t row, int32_t column) {
  const bool leftSide = column < kReadoutColumns;
  const bool rightSide = column >= kImageWidth - kReadoutColumns;
  if (!leftSide && !rightSide) return -1;
  const int32_t c = leftSide ? column : kImageWidth - 1 - column;
  const bool topHalf = row < kRunLength;
  int32_t word;
  if (rightSide) {
    word = topHalf ? kRunAStart + row : kRunBStart + (row - kRunLength);
  } else {
    word = topHalf ? kRunCStart + (kRunLength - 1 - row) : kRunDStart + (kImageHeight - 1 - row);
  }
  return int64_t(kFirstImageRawLine + c) * kRawLineWords + word;
}

void ComposeRawFrame(uint8_t* raw, uint32_t index) {
  std::memset(raw, 0, size_t(kRawFrameBytes));
  uint16_t words[kRawLineWords] = {};
  for (int32_t c = 0; c < kReadoutColumns; ++c) {
    const int32_t right = kImageWidth - 1 - c;
    for (int32_t t = 0; t < kRunLength; ++t) {
      words[kRunAStart + t] = ExposedReading(t, right, index);
      words[kRunBStart + t] = ExposedReading(kRunLength + t, right, index);
      words[kRunCStart + t] = ExposedReading(kRunLength - 1 - t, c, index);
      words[kRunDStart + t] = ExposedReading(kImageHeight - 1 - t, c, index);
    }
    std::memcpy(raw + size_t(kFirstImageRawLine + c) * sizeof words, words, sizeof words);
  }
  for (const DefectivePixel& defect : kDefectivePixels) {
    const int64_t word = RawWordIndex(defect.row, defect.column);
    if (word >= 0) std::memcpy(raw + size_t(word) * 2, &defect.reading, sizeof defect.reading);
  }
}

void BuildPixelMap(uint8_t* map) {
  std::memset(map, 0, kPixelMapBytes);
  for (const DefectivePixel& defect : kDefectivePixels) {
    map[size_t(defect.row) * kMapWidth + size_t(defect.column)] = defect.code;
  }
  map[size_t(kDarkHalfRow) * kMapWidth + kImageWidth] = kDarkHalfRowFlag;
  map[size_t(kImageHeight) * kMapWidth + kDarkColumn] = kDarkColumnFlag;
}

void BuildGainMap(float* map) {
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) map[size_t(r) * kImageWidth + c] = 1.0f / PixelGain(r, c);
  }
}

}  // namespace pci_frm01_sim
