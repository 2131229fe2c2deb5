#include "lag.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "data_area.h"
#include "frame_statistics.h"
#include "qa_error.h"

namespace tavrix_qa {
namespace {

constexpr int32_t kMargin = 16;       // rows kept clear of the band's edges
constexpr int32_t kMinimumRows = 64;  // of each kind

enum class RowKind { kExposed, kCovered, kNeither };

// The rows by the exposure of the second frame above the first (dark) one,
// each kept only when every row within kMargin is of its kind.
std::vector<RowKind> ClassifyRows(const std::vector<double>& dark, const std::vector<double>& exposed) {
  const int32_t rows = int32_t(dark.size());
  std::vector<double> exposure(dark.size());
  for (size_t i = 0; i < dark.size(); ++i) exposure[i] = exposed[i] - dark[i];
  const double peak = *std::max_element(exposure.begin(), exposure.end());
  if (!(peak > 0.0)) FailImages("the second frame of the lag sequence is not exposed");
  std::vector<RowKind> kind(dark.size());
  for (size_t i = 0; i < dark.size(); ++i)
    kind[i] = exposure[i] > 0.5 * peak ? RowKind::kExposed : exposure[i] < 0.1 * peak ? RowKind::kCovered : RowKind::kNeither;
  std::vector<RowKind> kept(kind);
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = std::max(0, i - kMargin); j <= std::min(rows - 1, i + kMargin); ++j)
      if (kind[size_t(j)] != kind[size_t(i)]) kept[size_t(i)] = RowKind::kNeither;
  return kept;
}

}  // namespace

LagResult MeasureLag(const std::vector<const uint16_t*>& sequence) {
  if (sequence.size() != kLagSequenceFrames)
    FailImages("the lag sequence has " + std::to_string(sequence.size()) +
               " frames; it needs 4: dark, an exposure of a band of rows, dark, flat");
  std::vector<double> means[kLagSequenceFrames];
  for (size_t k = 0; k < kLagSequenceFrames; ++k)
    for (int32_t r = kFirstDataRow; r < kEndDataRow; ++r) means[k].push_back(RowMean(sequence[k], r));
  const std::vector<RowKind> kind = ClassifyRows(means[0], means[1]);
  // Each frame's mean over the exposed rows (0) and over the covered rows (1).
  double sums[kLagSequenceFrames][2] = {};
  LagResult result;
  for (size_t i = 0; i < kind.size(); ++i) {
    if (kind[i] == RowKind::kNeither) continue;
    const int side = kind[i] == RowKind::kExposed ? 0 : 1;
    (side == 0 ? result.exposedRows : result.coveredRows) += 1;
    for (size_t k = 0; k < kLagSequenceFrames; ++k) sums[k][side] += means[k][i];
  }
  if (result.exposedRows < kMinimumRows || result.coveredRows < kMinimumRows)
    FailImages("the exposure of the lag sequence must leave " + std::to_string(kMinimumRows) +
               " rows or more both exposed and covered; found " + std::to_string(result.exposedRows) + " and " +
               std::to_string(result.coveredRows));
  // Each frame's exposed band against its covered rows, less the same in the
  // first dark frame, which takes off any fixed difference between the rows.
  const auto difference = [&](size_t k) {
    return sums[k][0] / result.exposedRows - sums[k][1] / result.coveredRows -
           (sums[0][0] / result.exposedRows - sums[0][1] / result.coveredRows);
  };
  const auto aboveDark = [&](size_t k, int side) {
    const int32_t n = side == 0 ? result.exposedRows : result.coveredRows;
    return (sums[k][side] - sums[0][side]) / n;
  };
  result.lagPercent = 100.0 * difference(2) / difference(1);
  const double flatCovered = aboveDark(3, 1);
  if (!(flatCovered > 0.0)) FailImages("the last frame of the lag sequence is not exposed");
  result.ghostPercent = 100.0 * (1.0 - aboveDark(3, 0) / flatCovered);
  return result;
}

}  // namespace tavrix_qa
