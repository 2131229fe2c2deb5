// Where a corrected image carries data: inside the masked border and outside
// the columns that the readout never delivers. Every measurement keeps to it.
#pragma once

#include <cstdint>
#include <vector>

#include "tavrix_internal.h"

namespace tavrix_qa {

constexpr int32_t kWidth = tavrix::kImageWidth;
constexpr int32_t kHeight = tavrix::kImageHeight;
constexpr double kDefaultPitchMm = 0.139;

constexpr int32_t kFirstDataRow = tavrix::kBorderMaskWidth;
constexpr int32_t kEndDataRow = kHeight - tavrix::kBorderMaskWidth;  // one past the last

// A run of columns [first, end) that carries data.
struct ColumnSpan {
  int32_t first;
  int32_t end;
};
constexpr ColumnSpan kDataSpans[] = {
    {tavrix::kBorderMaskWidth, tavrix::kReadoutColumns},
    {kWidth - tavrix::kReadoutColumns, kWidth - tavrix::kBorderMaskWidth},
};

inline bool InDataArea(int32_t row, int32_t column) {
  if (row < kFirstDataRow || row >= kEndDataRow) return false;
  for (const ColumnSpan& span : kDataSpans)
    if (column >= span.first && column < span.end) return true;
  return false;
}

// A rectangle of pixels: rows [top, top + height), columns [left, left + width).
struct Region {
  int32_t top = 0;
  int32_t left = 0;
  int32_t height = 0;
  int32_t width = 0;
};

}  // namespace tavrix_qa
