#include "reports/map_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "files/map_files.h"
#include "reports/map_pictures.h"

namespace tavrix_tool {
namespace {

constexpr int32_t kSide = 3072;

struct PixelMap {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(tavrix::kPixelMapBytes, 0);
  void Code(int32_t r, int32_t c, uint8_t code) { bytes[size_t(r) * tavrix::kMapWidth + size_t(c)] = code; }
  void RowFlag(int32_t r, uint8_t flag) { Code(r, kSide, flag); }
  void ColumnFlag(int32_t c, uint8_t flag) { Code(kSide, c, flag); }
};

std::vector<float> NeutralGains() { return std::vector<float>(size_t(kSide) * kSide, 1.0f); }
float& Gain(std::vector<float>& gains, int32_t r, int32_t c) { return gains[size_t(r) * kSide + size_t(c)]; }

TEST(AnalysePixelMap, CountsCodesAndEightConnectedClusters) {
  PixelMap map;
  map.Code(100, 100, 1);
  map.Code(200, 200, 7);
  for (int32_t r = 300; r <= 302; ++r)
    for (int32_t c = 300; c <= 302; ++c) map.Code(r, c, 1);
  map.Code(301, 301, 2);  // walled in: keeps its fill value
  map.Code(400, 400, 3);  // touching only at a corner
  map.Code(401, 401, 3);
  const PixelMapReport report = AnalysePixelMap(map.bytes);
  EXPECT_EQ(report.defective, 13u);
  EXPECT_EQ(report.pixelsByCode[1], 9u);
  EXPECT_EQ(report.pixelsByCode[2], 1u);
  EXPECT_EQ(report.pixelsByCode[3], 2u);
  EXPECT_EQ(report.pixelsByCode[7], 1u);
  EXPECT_EQ(report.clustersBySize, (std::map<size_t, size_t>{{1, 2}, {2, 1}, {9, 1}}));
  EXPECT_EQ(report.largestCluster.pixels, 9u);
  EXPECT_EQ(report.largestCluster.top, 300);
  EXPECT_EQ(report.largestCluster.right, 302);
  EXPECT_EQ(report.withoutGoodNeighbour, 1u);
  EXPECT_EQ(report.fillWithoutGoodNeighbour, 1u);
  EXPECT_EQ(report.inBorder + report.neverRepaired + report.inDatalessColumns, 0u);
}

TEST(AnalysePixelMap, CountsDefectsWhereTheRepairDoesNotReachOrShow) {
  PixelMap map;
  map.Code(0, 500, 1);     // outermost row: never repaired
  map.Code(1, 1, 2);       // repaired, but too near the corner to be filled
  map.Code(39, 500, 1);    // last masked row
  map.Code(500, 1300, 1);  // no data
  map.Code(600, 1279, 1);  // averages in the good data-less pixels of column 1280
  map.Code(700, 1792, 1);  // its data-less neighbours are all defective: not counted
  for (int32_t r = 699; r <= 701; ++r) map.Code(r, 1791, 1);
  const PixelMapReport report = AnalysePixelMap(map.bytes);
  EXPECT_EQ(report.inBorder, 3u);
  EXPECT_EQ(report.neverRepaired, 1u);
  EXPECT_EQ(report.fillNeverFilled, 1u);
  EXPECT_EQ(report.inDatalessColumns, 4u);
  EXPECT_EQ(report.averagingDatalessZero, 1u);
}

TEST(RowFlagEffect, FollowsTheRepairRangeAndTheBorder) {
  EXPECT_EQ(RowFlagEffect(500, 4), LineEffect::kIgnoredValue);
  EXPECT_EQ(RowFlagEffect(9, 1), LineEffect::kNeverRepaired);
  EXPECT_EQ(RowFlagEffect(10, 3), LineEffect::kMaskedByBorder);
  EXPECT_EQ(RowFlagEffect(38, 2), LineEffect::kMaskedByBorder);
  EXPECT_EQ(RowFlagEffect(39, 2), LineEffect::kRepaired);  // rescales row 40
  EXPECT_EQ(RowFlagEffect(3032, 1), LineEffect::kRepaired);
  EXPECT_EQ(RowFlagEffect(3033, 1), LineEffect::kMaskedByBorder);
  EXPECT_EQ(RowFlagEffect(3061, 1), LineEffect::kMaskedByBorder);
  EXPECT_EQ(RowFlagEffect(3062, 3), LineEffect::kNeverRepaired);
}

TEST(ColumnFlagEffect, FollowsTheRepairRangeTheBorderAndTheDatalessColumns) {
  const std::vector<std::pair<int32_t, LineEffect>> expected = {
      {0, LineEffect::kMaskedByBorder},
      {2, LineEffect::kMaskedByBorder},
      {3, LineEffect::kNeverRepaired},
      {9, LineEffect::kNeverRepaired},
      {10, LineEffect::kMaskedByBorder},
      {39, LineEffect::kRepaired},
      {1276, LineEffect::kRepaired},
      {1277, LineEffect::kReadsDatalessColumns},
      {1280, LineEffect::kReadsDatalessColumns},
      {1281, LineEffect::kDatalessOnly},
      {1790, LineEffect::kDatalessOnly},
      {1791, LineEffect::kReadsDatalessColumns},
      {1794, LineEffect::kReadsDatalessColumns},
      {1795, LineEffect::kRepaired},
      {3032, LineEffect::kRepaired},
      {3033, LineEffect::kMaskedByBorder},
      {3062, LineEffect::kNeverRepaired},
      {3068, LineEffect::kNeverRepaired},
      {3069, LineEffect::kMaskedByBorder},
      {3071, LineEffect::kMaskedByBorder},
  };
  for (const auto& [column, effect] : expected) EXPECT_EQ(ColumnFlagEffect(column), effect) << "column " << column;
}

TEST(AnalysePixelMap, MarksFittedRepairsOfTheSamePixelsWithinReach) {
  PixelMap map;
  map.RowFlag(200, 1);  // right half ...
  map.RowFlag(203, 2);  // ... and left half: apart
  map.RowFlag(300, 1);
  map.RowFlag(303, 3);
  map.RowFlag(400, 1);
  map.RowFlag(402, 9);   // ignored
  map.ColumnFlag(1, 1);  // copies, not fits
  map.ColumnFlag(2, 1);
  map.ColumnFlag(2200, 1);
  map.ColumnFlag(2204, 1);
  map.ColumnFlag(2500, 1);
  map.ColumnFlag(2503, 1);
  const PixelMapReport report = AnalysePixelMap(map.bytes);
  std::vector<int32_t> nearRows, nearColumns;
  for (const FlaggedLine& line : report.rows)
    if (line.nearAnother) nearRows.push_back(line.index);
  for (const FlaggedLine& line : report.columns)
    if (line.nearAnother) nearColumns.push_back(line.index);
  EXPECT_EQ(report.rows.size(), 6u);
  EXPECT_EQ(report.columns.size(), 6u);
  EXPECT_EQ(nearRows, (std::vector<int32_t>{300, 303}));
  EXPECT_EQ(nearColumns, (std::vector<int32_t>{2500, 2503}));
}

TEST(AnalyseGainMap, CountsSpecialGainsInTheDataAreaOnly) {
  std::vector<float> gains = NeutralGains();
  Gain(gains, 100, 100) = std::numeric_limits<float>::quiet_NaN();
  Gain(gains, 100, 101) = std::numeric_limits<float>::infinity();
  Gain(gains, 100, 102) = -std::numeric_limits<float>::infinity();
  Gain(gains, 100, 103) = 0.0f;
  Gain(gains, 100, 104) = -2.0f;
  Gain(gains, 100, 105) = 5.0f;
  Gain(gains, 39, 100) = std::numeric_limits<float>::quiet_NaN();    // border
  Gain(gains, 500, 1280) = std::numeric_limits<float>::quiet_NaN();  // no data
  const GainReport report = AnalyseGainMap(gains);
  EXPECT_EQ(report.dataGains, size_t(2992) * (2992 - 512));
  EXPECT_EQ(report.nan, 1u);
  EXPECT_EQ(report.infinite, 2u);
  EXPECT_EQ(report.zero, 1u);
  EXPECT_EQ(report.negative, 1u);
  EXPECT_EQ(report.finite, report.dataGains - 3);
  EXPECT_EQ(report.min, -2.0f);
  EXPECT_EQ(report.max, 5.0f);
  EXPECT_EQ(report.median, 1.0f);
}

TEST(AnalyseGainMap, TakesPercentilesByRankAmongTheDataGains) {
  std::vector<float> gains = NeutralGains();
  float next = 0.0f;  // distinct, exact integers in raster order
  for (int32_t r = 0; r < kSide; ++r)
    for (int32_t c = 0; c < kSide; ++c)
      if (tavrix::internal::InDataArea(r, c)) Gain(gains, r, c) = next++;
  const GainReport report = AnalyseGainMap(gains);
  const double n = double(report.dataGains);
  EXPECT_EQ(report.p1, std::floor(n * 0.01));
  EXPECT_EQ(report.median, std::floor(n * 0.5));
  EXPECT_EQ(report.p99, std::floor(n * 0.99));
  EXPECT_EQ(report.max, float(n - 1));
}

TEST(MapPictures, DrawDefectsInTheirCodeColourWithTheirNeighboursClear) {
  PixelMap map;
  map.Code(1000, 1000, 1);
  map.Code(1000, 1001, 2);
  const Picture picture = DefectPicture(map.bytes, AnalysePixelMap(map.bytes));
  const Rgb red = CodeColour(1), yellow = CodeColour(2), clear = picture.At(500, 500);
  EXPECT_EQ(picture.At(1000, 1000).red, red.red);
  EXPECT_EQ(picture.At(1000, 1001).green, yellow.green);
  EXPECT_EQ(picture.At(999, 999).red, clear.red);   // a good neighbour
  EXPECT_NE(picture.At(1003, 997).red, clear.red);  // the ring
  EXPECT_EQ(picture.At(1010, 1010).red, clear.red);
}

TEST(MapPictures, DrawFlaggedLinesOverTheirHalvesDashedWhereNothingShows) {
  PixelMap map;
  map.RowFlag(1000, 1);     // right half
  map.RowFlag(2000, 9);     // ignored: the whole row, dashed
  map.ColumnFlag(1500, 1);  // only data-less columns: dashed
  const Picture picture = DefectPicture(map.bytes, AnalysePixelMap(map.bytes));
  const Rgb clear = picture.At(500, 500);
  const Rgb line = picture.At(1000, 2000);
  EXPECT_NE(line.green, clear.green);
  EXPECT_EQ(picture.At(1000, 1000).green, clear.green);  // the left half
  int32_t drawn = 0;
  for (int32_t c = 100; c < 200; ++c) drawn += picture.At(2000, c).green == line.green;
  EXPECT_GT(drawn, 0);
  EXPECT_LT(drawn, 100);
  EXPECT_NE(picture.At(2000, 1500).green, picture.At(2010, 1500).green);
}

TEST(MapPictures, WidenTheHistogramRangeWithinTheFiniteGains) {
  GainReport report;
  report.min = 0.5f;
  report.p1 = 0.9f;
  report.median = 1.0f;
  report.p99 = 1.1f;
  report.max = 1.12f;
  const HistogramRange range = GainHistogramRange(report);
  EXPECT_NEAR(range.low, 0.8, 1e-6);
  EXPECT_NEAR(range.high, 1.12, 1e-6);
  report.p1 = report.p99 = 1.0f;  // a neutral map
  const HistogramRange neutral = GainHistogramRange(report);
  EXPECT_EQ(neutral.low, 0.5);
  EXPECT_EQ(neutral.high, 1.5);
}

TEST(MapPictures, BinGainsOfTheDataAreaAndGreyThemByTheWindow) {
  std::vector<float> gains = NeutralGains();
  Gain(gains, 100, 100) = 0.25f;
  Gain(gains, 100, 101) = 2.0f;  // the upper end, in the last bin
  Gain(gains, 100, 102) = std::numeric_limits<float>::quiet_NaN();
  Gain(gains, 0, 0) = 0.25f;  // border
  const std::vector<size_t> counts = GainHistogram(gains, {0.0, 2.0}, 4);
  EXPECT_EQ(counts, (std::vector<size_t>{1, 0, size_t(2992) * 2480 - 3, 1}));
  const std::vector<uint16_t> levels = GainGreyLevels(gains, 0.5f, 1.5f);
  EXPECT_EQ(levels[size_t(100) * kSide + 100], 0);
  EXPECT_EQ(levels[size_t(100) * kSide + 101], kGreyWhite);
  EXPECT_EQ(levels[size_t(100) * kSide + 102], 0);
  EXPECT_EQ(levels[size_t(500) * kSide + 500], kGreyWhite / 2);
}

}  // namespace
}  // namespace tavrix_tool
