#include "dark.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "data_area.h"
#include "qa_error.h"

namespace tavrix_qa {

DarkResult MeasureDark(const std::vector<const uint16_t*>& darks) {
  if (darks.size() < kMinimumDarkFrames)
    FailImages("dark noise needs " + std::to_string(kMinimumDarkFrames) + " frames or more, not " +
               std::to_string(darks.size()));
  const double n = double(darks.size());
  double sumOfMeans = 0.0, sumOfSquaredMeans = 0.0, sumOfVariances = 0.0;
  int64_t pixels = 0;
  for (int32_t r = kFirstDataRow; r < kEndDataRow; ++r) {
    for (const ColumnSpan& span : kDataSpans) {
      for (int32_t c = span.first; c < span.end; ++c) {
        const size_t i = size_t(r) * kWidth + size_t(c);
        double sum = 0.0, squares = 0.0;
        for (const uint16_t* dark : darks) {
          sum += dark[i];
          squares += double(dark[i]) * dark[i];
        }
        const double mean = sum / n;
        sumOfMeans += mean;
        sumOfSquaredMeans += mean * mean;
        sumOfVariances += std::max(0.0, (squares - sum * mean) / (n - 1.0));
        ++pixels;
      }
    }
  }
  DarkResult result;
  result.frames = int32_t(darks.size());
  result.mean = sumOfMeans / double(pixels);
  const double temporalVariance = sumOfVariances / double(pixels);
  result.temporalNoise = std::sqrt(temporalVariance);
  const double spreadOfMeans = sumOfSquaredMeans / double(pixels) - result.mean * result.mean;
  result.fixedPatternNoise = std::sqrt(std::max(0.0, spreadOfMeans - temporalVariance / n));
  return result;
}

}  // namespace tavrix_qa
