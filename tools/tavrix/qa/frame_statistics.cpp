#include "frame_statistics.h"

#include "tavrix_internal.h"

namespace tavrix_qa {

AreaStatistics DataAreaStatistics(const uint16_t* image) {
  AreaStatistics s;
  double sum = 0.0;
  for (int32_t r = kFirstDataRow; r < kEndDataRow; ++r) {
    for (const ColumnSpan& span : kDataSpans) {
      const uint16_t* line = image + size_t(r) * kWidth;
      for (int32_t c = span.first; c < span.end; ++c) {
        sum += line[c];
        if (line[c] == 0 || line[c] >= tavrix::kMaxPixelValue) ++s.clipped;
      }
      s.pixels += span.end - span.first;
    }
  }
  s.mean = sum / double(s.pixels);
  return s;
}

double RowMean(const uint16_t* image, int32_t row) {
  double sum = 0.0;
  int32_t count = 0;
  for (const ColumnSpan& span : kDataSpans) {
    for (int32_t c = span.first; c < span.end; ++c) sum += image[size_t(row) * kWidth + size_t(c)];
    count += span.end - span.first;
  }
  return sum / count;
}

}  // namespace tavrix_qa
