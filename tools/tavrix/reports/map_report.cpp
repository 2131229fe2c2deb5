#include "reports/map_report.h"

#include <algorithm>
#include <cmath>

#include "reports/statistics.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::kImageHeight;
using tavrix::kImageWidth;
using tavrix::kMapWidth;
using tavrix::internal::DefectRepairReaches;
using tavrix::internal::FillReaches;
using tavrix::internal::InDataArea;
using tavrix::internal::InMaskedBorder;
using tavrix::internal::IsCopiedEdgeColumn;
using tavrix::internal::IsDatalessColumn;
using tavrix::internal::LineUnmasked;
using tavrix::internal::WithinFittedReach;

constexpr double kLowPercentile = 0.01;
constexpr double kHighPercentile = 0.99;

uint8_t Code(const std::vector<uint8_t>& map, int32_t row, int32_t column) {
  return map[size_t(row) * kMapWidth + size_t(column)];
}

bool Defective(const std::vector<uint8_t>& map, int32_t row, int32_t column) {
  return Code(map, row, column) != tavrix::kGoodPixel;
}

// A fitted repair of line `index` rescales the lines within the centre band.
bool CentreBandVisible(int32_t index, int32_t length) {
  for (int32_t k = -tavrix::kCentreHalfWidth; k <= tavrix::kCentreHalfWidth; ++k)
    if (LineUnmasked(index + k, length)) return true;
  return false;
}

bool AnyDataless(int32_t from, int32_t to) {
  for (int32_t c = from; c <= to; ++c)
    if (IsDatalessColumn(c)) return true;
  return false;
}

bool AllDataless(int32_t from, int32_t to) {
  for (int32_t c = from; c <= to; ++c)
    if (!IsDatalessColumn(c)) return false;
  return true;
}

LineEffect FittedColumnEffect(int32_t column) {
  if (!CentreBandVisible(column, kImageWidth)) return LineEffect::kMaskedByBorder;
  const int32_t centre = tavrix::kCentreHalfWidth;
  const int32_t reach = tavrix::kReferenceReach;
  if (AllDataless(column - centre, column + centre)) return LineEffect::kDatalessOnly;
  if (AnyDataless(column - reach, column + reach)) return LineEffect::kReadsDatalessColumns;
  return LineEffect::kRepaired;
}

bool IsFittedRepair(const FlaggedLine& line, bool isRow) {
  if (line.effect == LineEffect::kIgnoredValue || line.effect == LineEffect::kNeverRepaired) return false;
  return isRow || !IsCopiedEdgeColumn(line.index);
}

// Marks fitted repairs of the same pixels that lie within each other's
// reference lines.
void MarkNearRepairs(std::vector<FlaggedLine>& lines, bool isRow) {
  for (size_t i = 0; i < lines.size(); ++i) {
    for (size_t j = i + 1; j < lines.size(); ++j) {
      if (lines[j].index - lines[i].index > tavrix::kReferenceReach) break;
      if (!IsFittedRepair(lines[i], isRow) || !IsFittedRepair(lines[j], isRow)) continue;
      if (isRow && !tavrix::internal::RowFlagsShareHalf(lines[i].flag, lines[j].flag)) continue;
      lines[i].nearAnother = true;
      lines[j].nearAnother = true;
    }
  }
}

void CollectFlags(const std::vector<uint8_t>& map, PixelMapReport& report) {
  for (int32_t r = 0; r < kImageHeight; ++r) {
    const uint8_t flag = Code(map, r, kImageWidth);
    if (flag != 0) report.rows.push_back({r, flag, RowFlagEffect(r, flag), false});
  }
  for (int32_t c = 0; c < kImageWidth; ++c) {
    const uint8_t flag = Code(map, kImageHeight, c);
    if (flag != 0) report.columns.push_back({c, flag, ColumnFlagEffect(c), false});
  }
  MarkNearRepairs(report.rows, true);
  MarkNearRepairs(report.columns, false);
}

// What the defective-pixel repair of (row, column) finds around it.
void CheckNeighbours(const std::vector<uint8_t>& map, int32_t row, int32_t column, PixelMapReport& report) {
  int32_t good = 0;
  bool goodDataless = false;
  for (int32_t r = row - 1; r <= row + 1; ++r) {
    for (int32_t c = column - 1; c <= column + 1; ++c) {
      if (Defective(map, r, c)) continue;
      ++good;
      goodDataless = goodDataless || IsDatalessColumn(c);
    }
  }
  if (good == 0) {
    ++report.withoutGoodNeighbour;
    if (Code(map, row, column) == tavrix::kFillCode) ++report.fillWithoutGoodNeighbour;
  }
  if (goodDataless) ++report.averagingDatalessZero;
}

void CountDefect(const std::vector<uint8_t>& map, int32_t row, int32_t column, PixelMapReport& report) {
  const uint8_t code = Code(map, row, column);
  ++report.defective;
  if (InMaskedBorder(row, column)) ++report.inBorder;
  if (!DefectRepairReaches(row, column)) ++report.neverRepaired;
  if (code == tavrix::kFillCode && !FillReaches(row, column)) ++report.fillNeverFilled;
  if (IsDatalessColumn(column)) ++report.inDatalessColumns;
  if (InDataArea(row, column)) CheckNeighbours(map, row, column, report);
}

// Flood-fills the cluster holding (row, column), marking its pixels seen.
Cluster FillCluster(const std::vector<uint8_t>& map, std::vector<uint8_t>& seen, int32_t row, int32_t column) {
  Cluster cluster{0, row, column, row, column};
  std::vector<std::pair<int32_t, int32_t>> pending{{row, column}};
  seen[size_t(row) * kImageWidth + size_t(column)] = 1;
  while (!pending.empty()) {
    const auto [r, c] = pending.back();
    pending.pop_back();
    ++cluster.pixels;
    cluster.top = std::min(cluster.top, r);
    cluster.bottom = std::max(cluster.bottom, r);
    cluster.left = std::min(cluster.left, c);
    cluster.right = std::max(cluster.right, c);
    for (int32_t rr = std::max(r - 1, 0); rr <= std::min(r + 1, kImageHeight - 1); ++rr) {
      for (int32_t cc = std::max(c - 1, 0); cc <= std::min(c + 1, kImageWidth - 1); ++cc) {
        uint8_t& mark = seen[size_t(rr) * kImageWidth + size_t(cc)];
        if (mark != 0 || !Defective(map, rr, cc)) continue;
        mark = 1;
        pending.emplace_back(rr, cc);
      }
    }
  }
  return cluster;
}

void CollectDefects(const std::vector<uint8_t>& map, PixelMapReport& report) {
  std::vector<uint8_t> seen(size_t(kImageWidth) * kImageHeight, 0);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      ++report.pixelsByCode[Code(map, r, c)];
      if (!Defective(map, r, c)) continue;
      CountDefect(map, r, c, report);
      if (seen[size_t(r) * kImageWidth + size_t(c)] != 0) continue;
      const Cluster cluster = FillCluster(map, seen, r, c);
      ++report.clustersBySize[cluster.pixels];
      if (cluster.pixels > report.largestCluster.pixels) report.largestCluster = cluster;
    }
  }
}

void CountGain(float gain, GainReport& report, std::vector<float>& finite) {
  ++report.dataGains;
  if (std::isnan(gain)) {
    ++report.nan;
  } else if (std::isinf(gain)) {
    ++report.infinite;
  } else {
    finite.push_back(gain);
    if (gain == 0.0f) ++report.zero;
    if (gain < 0.0f) ++report.negative;
  }
}

}  // namespace

LineEffect RowFlagEffect(int32_t row, uint8_t flag) {
  if (!tavrix::internal::IsKnownRowFlag(flag)) return LineEffect::kIgnoredValue;
  if (!WithinFittedReach(row, kImageHeight)) return LineEffect::kNeverRepaired;
  return CentreBandVisible(row, kImageHeight) ? LineEffect::kRepaired : LineEffect::kMaskedByBorder;
}

LineEffect ColumnFlagEffect(int32_t column) {
  if (WithinFittedReach(column, kImageWidth)) return FittedColumnEffect(column);
  if (IsCopiedEdgeColumn(column)) return LineUnmasked(column, kImageWidth) ? LineEffect::kRepaired : LineEffect::kMaskedByBorder;
  return LineEffect::kNeverRepaired;
}

PixelMapReport AnalysePixelMap(const std::vector<uint8_t>& map) {
  PixelMapReport report;
  CollectDefects(map, report);
  CollectFlags(map, report);
  return report;
}

GainReport AnalyseGainMap(const std::vector<float>& gains) {
  GainReport report;
  std::vector<float> finite;
  finite.reserve(gains.size());
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (InDataArea(r, c)) CountGain(gains[size_t(r) * kImageWidth + size_t(c)], report, finite);
  report.finite = finite.size();
  if (finite.empty()) return report;
  const auto [low, high] = std::minmax_element(finite.begin(), finite.end());
  report.min = *low;
  report.max = *high;
  report.p1 = Percentile(finite, kLowPercentile);
  report.median = Median(finite);
  report.p99 = Percentile(finite, kHighPercentile);
  return report;
}

}  // namespace tavrix_tool
