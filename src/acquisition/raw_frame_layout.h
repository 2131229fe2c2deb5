// Layout of the raw frame: 1282 raw lines of 6320 16-bit words. Raw line
// 2 + c carries image column c and column width - 1 - c, each as two runs of
// 1536 words (top half and bottom half), read from the outer edges inward.
#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

constexpr int32_t kRawLineWords = 6320;
constexpr int32_t kRawLineCount = 1282;
constexpr int32_t kFirstImageRawLine = 2;
constexpr int32_t kRunLength = 1536;  // half the image height

// First word of each run within a raw line.
constexpr int32_t kRunAStart = 8;     // column width-1-c, rows 0..1535 downward
constexpr int32_t kRunBStart = 1572;  // column width-1-c, rows 1536..3071 downward
constexpr int32_t kRunCStart = 3168;  // column c, rows 1535..0 upward
constexpr int32_t kRunDStart = 4732;  // column c, rows 3071..1536 upward

}  // namespace tavrix
