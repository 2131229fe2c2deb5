// Layout of the raw frame: 1282 raw lines of 6320 16-bit words. Raw line
// 2 + c carries image column c and column width - 1 - c, each as two runs of
// 1536 words (top half and bottom half), read from the outer edges inward.
#pragma once

#include <cstdint>

namespace tavrix {

constexpr int32_t kRawLineWords = 6320;
constexpr int32_t kRawLineCount = 1282;
constexpr int32_t kFirstImageRawLine = 2;
constexpr int32_t kRunLength = 1536;  // half the image height
constexpr int32_t kReadoutColumns = 1280;  // columns per side; 1280..1791 get no data
// The panel's readout chips: 256 columns each, one set for the top half (the
// runs of rows 0..1535) and one for the bottom; each has its own gain and
// offset, which step from one chip to the next.
constexpr int32_t kReadoutChipColumns = 256;
constexpr int32_t kReadoutChipRows = kRunLength;

// First word of each run within a raw line.
constexpr int32_t kRunAStart = 8;     // column width-1-c, rows 0..1535 downward
constexpr int32_t kRunBStart = 1572;  // column width-1-c, rows 1536..3071 downward
constexpr int32_t kRunCStart = 3168;  // column c, rows 1535..0 upward
constexpr int32_t kRunDStart = 4732;  // column c, rows 3071..1536 upward

}  // namespace tavrix
