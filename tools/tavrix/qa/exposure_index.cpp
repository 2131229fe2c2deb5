#include "exposure_index.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tavrix_internal.h"
#include "qa_error.h"

namespace tavrix_qa {

double MedianInside(const uint16_t* image, const Region& collimation) {
  std::vector<uint64_t> histogram(size_t(tavrix::kMaxPixelValue) + 2, 0);
  uint64_t count = 0;
  const int32_t rowEnd = std::min(collimation.top + collimation.height, kEndDataRow);
  for (int32_t r = std::max(collimation.top, kFirstDataRow); r < rowEnd; ++r) {
    for (const ColumnSpan& span : kDataSpans) {
      const int32_t end = std::min(span.end, collimation.left + collimation.width);
      for (int32_t c = std::max(span.first, collimation.left); c < end; ++c) {
        ++histogram[std::min<size_t>(image[size_t(r) * kWidth + size_t(c)], histogram.size() - 1)];
        ++count;
      }
    }
  }
  if (count == 0) FailArgument("the collimation holds no pixel of the data area");
  // The lower median for an even count; the pixels are whole counts anyway.
  const uint64_t half = (count + 1) / 2;
  uint64_t seen = 0;
  for (size_t v = 0; v < histogram.size(); ++v) {
    seen += histogram[v];
    if (seen >= half) return double(v);
  }
  return double(histogram.size() - 1);
}

double ExposureIndex(const uint16_t* image, const Region& collimation, const ResponseConversion& response) {
  if (!(response.countsPerUGy > 0.0)) FailArgument("the panel's response must be above 0 counts per uGy");
  const double kerma = response.KermaOf(MedianInside(image, collimation));
  return kerma > 0.0 ? 100.0 * kerma : 0.0;
}

double DeviationIndex(double exposureIndex, double targetExposureIndex) {
  if (!(exposureIndex > 0.0) || !(targetExposureIndex > 0.0))
    FailArgument("the deviation index needs an exposure index and a target above 0");
  return 10.0 * std::log10(exposureIndex / targetExposureIndex);
}

}  // namespace tavrix_qa
