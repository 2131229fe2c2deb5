#include "correction/line_defects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/dimensions.h"
#include "support/correction_images.h"

namespace tavrix {
namespace {

using tavrix_test::TestImage;
using tavrix_test::TestPixelMap;

constexpr int32_t kW = kImageWidth;
constexpr int32_t kH = kImageHeight;
constexpr int32_t kMiddle = kW / 2;

TestImage FromRows(const std::vector<std::vector<uint16_t>>& rows) {
  TestImage image(int32_t(rows[0].size()), int32_t(rows.size()));
  for (int32_t r = 0; r < image.height(); ++r)
    for (int32_t c = 0; c < image.width(); ++c) image(r, c) = rows[r][c];
  return image;
}

void Correct(TestImage& image, const TestPixelMap& map) {
  CorrectLineDefects(image.data(), image.width(), image.height(), map.rows());
}

TEST(CorrectLineDefects, LeavesUniformImageUnchangedByEveryRepair) {
  TestImage image(kW, kH, 1234);
  TestPixelMap map(kW, kH);
  map.SetRowFlag(10, kRowFlagRightHalf);
  map.SetRowFlag(100, kRowFlagBothHalves);
  map.SetRowFlag(101, kRowFlagLeftHalf);
  map.SetRowFlag(kH - 11, kRowFlagBothHalves);
  for (int32_t c : {0, 1, 2, 10, 500, 501, kW - 11, kW - 3, kW - 1}) map.SetColumnFlag(c, 1);
  Correct(image, map);
  EXPECT_EQ(image.pixels(), TestImage(kW, kH, 1234).pixels());
}

TEST(CorrectLineDefects, RebuildsDarkRightHalfRowFromRescaledNeighbours) {
  TestImage image(kW, kH, 1000);
  image.FillRow(99, 0, kW, 900);
  image.FillRow(100, 0, kW, 0);
  image.FillRow(101, 0, kW, 900);
  TestPixelMap map(kW, kH);
  map.SetRowFlag(100, kRowFlagRightHalf);
  Correct(image, map);
  for (int32_t r = 99; r <= 101; ++r) {
    for (int32_t c = 0; c < kW; ++c) {
      const uint16_t untouchedLeft = r == 100 ? 0 : 900;
      ASSERT_EQ(image(r, c), c < kMiddle ? untouchedLeft : 1000) << r << ", " << c;
    }
  }
}

TEST(CorrectLineDefects, FitFollowsRampAcrossTheRows) {
  TestImage image(kW, kH);
  for (int32_t r = 0; r < kH; ++r) image.FillRow(r, 0, kW, uint16_t(1000 + 10 * r));
  image.FillRow(99, kMiddle, kW, 1791);
  image.FillRow(100, kMiddle, kW, 0);
  image.FillRow(101, kMiddle, kW, 1809);
  RepairRowRightHalf(image.data(), kW, 100);
  for (int32_t c = kMiddle; c < kW; ++c) {
    ASSERT_EQ(image(99, c), 1990) << c;
    ASSERT_EQ(image(100, c), 2000) << c;
    ASSERT_EQ(image(101, c), 2010) << c;
  }
}

// Expected values from an independent double-precision model. Each case
// would differ if the samples were divided by 3 instead of multiplied by the
// double 1/3, or the slope multiplied by 1/26 instead of divided by 26, or
// the fit's products summed in another order.
TEST(RepairRowRightHalf, MatchesReferenceArithmeticBitForBit) {
  struct Case {
    const char* pins;
    std::vector<std::vector<uint16_t>> rows;
    std::vector<std::vector<uint16_t>> repaired;  // rows 2..4, right half
  };
  const Case cases[] = {
      {"samples times 1/3",
       {{856, 720, 850, 1244, 923, 1066, 890, 866},
        {878, 1022, 1016, 1148, 853, 1210, 1035, 1234},
        {968, 979, 767, 1097, 960, 756, 725, 784},
        {1130, 804, 1240, 728, 1114, 918, 937, 678},
        {825, 1222, 926, 1068, 1063, 1010, 1015, 853},
        {935, 1021, 724, 1201, 1191, 1041, 891, 1044},
        {1011, 1003, 1038, 781, 952, 1211, 1150, 977}},
       {{1199, 944, 966, 1044}, {1142, 987, 1019, 973}, {1086, 1031, 1073, 902}}},
      {"order of the fit's sum",
       {{1854, 1811, 1657, 1878, 1973, 1896, 1583, 1988},
        {1651, 2016, 1952, 2061, 1522, 2044, 1894, 2023},
        {2083, 1647, 1826, 1706, 1814, 1699, 1677, 1966},
        {1679, 1650, 1684, 1967, 1679, 1542, 1982, 1993},
        {1978, 1950, 1888, 1933, 2113, 1535, 1571, 1865},
        {1816, 1802, 2111, 1752, 1550, 1667, 1759, 1537},
        {1922, 1838, 1730, 2046, 1685, 1986, 1705, 1584}},
       {{1874, 1755, 1680, 1969}, {2003, 1652, 1652, 1948}, {2133, 1549, 1624, 1928}}},
      {"slope divided by 26",
       {{749, 768, 753, 711, 571, 730, 635, 459},
        {517, 947, 789, 876, 894, 596, 905, 587},
        {788, 854, 928, 694, 774, 943, 429, 836},
        {988, 595, 656, 525, 1016, 854, 933, 819},
        {752, 540, 496, 486, 800, 467, 488, 810},
        {809, 871, 752, 659, 733, 571, 1006, 430},
        {534, 973, 819, 463, 933, 462, 939, 1012}},
       {{795, 968, 564, 1099}, {917, 787, 623, 1116}, {1040, 607, 683, 1134}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.pins);
    TestImage image = FromRows(test.rows);
    RepairRowRightHalf(image.data(), image.width(), 3);
    for (int32_t r = 0; r < image.height(); ++r) {
      for (int32_t c = 0; c < image.width(); ++c) {
        const bool repaired = r >= 2 && r <= 4 && c >= 4;
        EXPECT_EQ(image(r, c), repaired ? test.repaired[r - 2][c - 4] : test.rows[r][c]) << r << ", " << c;
      }
    }
  }
}

TEST(RepairColumn, MatchesReferenceArithmeticBitForBit) {
  // Six rows: the last window reads row 4 twice.
  TestImage image = FromRows({{1681, 1730, 1823, 1733, 1465, 1710, 1522},
                              {1661, 1523, 1765, 1617, 1592, 1758, 1527},
                              {1374, 1474, 1684, 1355, 1321, 1839, 1653},
                              {1749, 1517, 1900, 1422, 1500, 1663, 1773},
                              {1428, 1492, 1778, 1384, 1363, 1818, 1680},
                              {1868, 1354, 1383, 1456, 1861, 1860, 1451}});
  const TestImage expected = FromRows({{1681, 1730, 1666, 1653, 1641, 1710, 1522},
                                       {1661, 1523, 1613, 1698, 1783, 1758, 1527},
                                       {1374, 1474, 1487, 1531, 1576, 1839, 1653},
                                       {1749, 1517, 1678, 1734, 1790, 1663, 1773},
                                       {1428, 1492, 1707, 1587, 1468, 1818, 1680},
                                       {1868, 1354, 1328, 1666, 2004, 1860, 1451}});
  RepairColumn(image.data(), image.width(), image.height(), 3);
  EXPECT_EQ(image.pixels(), expected.pixels());
}

TEST(CorrectLineDefects, IgnoresFlagsOutsideTheirRangesAndValues) {
  const TestImage original = tavrix_test::RandomImage(kW, kH, 11, 16383);
  TestImage image = original;
  TestPixelMap map(kW, kH);
  for (int32_t r : {0, 9, kH - 10, kH - 1}) map.SetRowFlag(r, kRowFlagBothHalves);
  map.SetRowFlag(50, 4);
  map.SetRowFlag(51, 255);
  for (int32_t c : {3, 9, kW - 10, kW - 4}) map.SetColumnFlag(c, 1);
  Correct(image, map);
  EXPECT_EQ(image.pixels(), original.pixels());

  // The first and last rows and columns that are repaired.
  for (int32_t r : {10, kH - 11}) map.SetRowFlag(r, kRowFlagBothHalves);
  Correct(image, map);
  for (int32_t r : {10, kH - 11}) EXPECT_NE(image(r, 5), original(r, 5)) << r;
  image = original;
  TestPixelMap columns(kW, kH);
  for (int32_t c : {10, kW - 11}) columns.SetColumnFlag(c, 255);
  Correct(image, columns);
  for (int32_t c : {10, kW - 11}) EXPECT_NE(image(5, c), original(5, c)) << c;
}

TEST(CorrectLineDefects, CopiesFlaggedEdgeColumnsFromTheirNeighbours) {
  const TestImage original = tavrix_test::RandomImage(kW, kH, 12, 16383);
  TestImage image = original;
  TestPixelMap map(kW, kH);
  // Columns 1 and 2 both end up as column 0: the copy passes on.
  for (int32_t c : {1, 2, kW - 3, kW - 1}) map.SetColumnFlag(c, 1);
  Correct(image, map);
  for (int32_t r = 0; r < kH; ++r) {
    ASSERT_EQ(image(r, 1), original(r, 0)) << r;
    ASSERT_EQ(image(r, 2), original(r, 0)) << r;
    ASSERT_EQ(image(r, kW - 3), original(r, kW - 4)) << r;
    ASSERT_EQ(image(r, kW - 2), original(r, kW - 2)) << r;
    ASSERT_EQ(image(r, kW - 1), original(r, kW - 2)) << r;
  }

  image = original;
  TestPixelMap first(kW, kH);
  first.SetColumnFlag(0, 1);
  Correct(image, first);
  for (int32_t r = 0; r < kH; ++r) ASSERT_EQ(image(r, 0), original(r, 1)) << r;
}

TEST(CorrectLineDefects, ZeroReferenceLinesGiveTenfoldRatios) {
  // Only the row and its neighbours hold 5: the fit is 0, each ratio 50, and
  // 5 / 50 truncates to 0. The left half, untouched, keeps its 5s.
  TestImage image(kW, kH, 0);
  for (int32_t r = 99; r <= 101; ++r) image.FillRow(r, 0, kW, 5);
  RepairRowRightHalf(image.data(), kW, 100);
  for (int32_t r = 99; r <= 101; ++r) {
    EXPECT_EQ(image(r, kMiddle), 0) << r;
    EXPECT_EQ(image(r, kW - 1), 0) << r;
    EXPECT_EQ(image(r, kMiddle - 1), 5) << r;
  }

  // A neighbour of 0s has the ratio 0 (0 / 0 by the fit) and stays 0.
  TestImage zeroNeighbour(kW, kH, 0);
  zeroNeighbour.FillRow(101, 0, kW, 5);
  RepairRowRightHalf(zeroNeighbour.data(), kW, 100);
  EXPECT_EQ(zeroNeighbour(99, kMiddle), 0);
  EXPECT_EQ(zeroNeighbour(100, kMiddle), 0);
  EXPECT_EQ(zeroNeighbour(101, kMiddle), 0);
}

TEST(CorrectLineDefects, RepairsRowsBeforeColumnsEachInIncreasingOrder) {
  const TestImage original = tavrix_test::RandomImage(kW, kH, 13, 16383);
  TestPixelMap map(kW, kH);
  map.SetRowFlag(200, kRowFlagBothHalves);
  map.SetRowFlag(201, kRowFlagRightHalf);
  map.SetRowFlag(202, kRowFlagLeftHalf);
  for (int32_t c : {300, 301, 2000}) map.SetColumnFlag(c, 1);
  TestImage image = original;
  Correct(image, map);

  TestImage expected = original;
  RepairRowRightHalf(expected.data(), kW, 200);
  RepairRowLeftHalf(expected.data(), kW, 200);
  RepairRowRightHalf(expected.data(), kW, 201);
  RepairRowLeftHalf(expected.data(), kW, 202);
  for (int32_t c : {300, 301, 2000}) RepairColumn(expected.data(), kW, kH, c);
  EXPECT_EQ(image.pixels(), expected.pixels());

  // The crossing of row 200 and column 2000 ends with the column repair's value.
  TestImage columnsFirst = original;
  for (int32_t c : {300, 301, 2000}) RepairColumn(columnsFirst.data(), kW, kH, c);
  RepairRowRightHalf(columnsFirst.data(), kW, 200);
  RepairRowLeftHalf(columnsFirst.data(), kW, 200);
  EXPECT_NE(image(200, 2000), columnsFirst(200, 2000));
  EXPECT_EQ(image(200, 2000), (image(200, 1999) + image(200, 2001)) / 2);
}

TEST(CorrectLineDefects, RowHalvesNeverReadAcrossTheMiddle) {
  const TestImage original = tavrix_test::RandomImage(kW, kH, 14, 16383);
  TestImage otherRight = original;
  TestImage otherLeft = original;
  for (int32_t r = 95; r <= 105; ++r) {
    otherRight.FillRow(r, kMiddle, kW, 16383);
    otherLeft.FillRow(r, 0, kMiddle, 16383);
  }
  TestImage image = original;
  RepairRowLeftHalf(image.data(), kW, 100);
  RepairRowLeftHalf(otherRight.data(), kW, 100);
  RepairRowRightHalf(otherLeft.data(), kW, 100);
  RepairRowRightHalf(image.data(), kW, 100);
  for (int32_t r = 95; r <= 105; ++r) {
    for (int32_t c = 0; c < kW; ++c) {
      const TestImage& other = c < kMiddle ? otherRight : otherLeft;
      ASSERT_EQ(image(r, c), other(r, c)) << r << ", " << c;
    }
  }
}

TEST(FitLine, FitsSlopeThroughReferenceSamplesOnly) {
  const Positions positions = {-3, -2, -1, 0, 1, 2, 3};
  // The centre samples are far off the line and must not pull it.
  const LineSamples samples = {0.0, 0.0, 5000.0, 9000.0, 7000.0, 0.0, 26.0};
  LineSamples fitted;
  FitLine(samples, positions, kCentreHalfWidth, 6.5, fitted);
  for (int32_t j = 0; j < kPositionCount; ++j) EXPECT_EQ(fitted[j], 3.0 * positions[j] + 6.5) << j;
}

// A product rounded on its own before it is added, whatever the compiler
// would do with the expression.
double Rounded(double product) {
  volatile double stored = product;
  return stored;
}

TEST(FitLine, RoundsEachProductBeforeAddingItAsAContractionIntoFmaWouldNot) {
  // Samples as the repairs form them (window sums times the double 1/3). The
  // products k * s and k * slope are not exact, so a fused multiply-add would
  // change fitted values; the fit must match products rounded one by one.
  const Positions positions = {-3, -2, -1, 0, 1, 2, 3};
  std::mt19937 random(5);
  int32_t fusedWouldDiffer = 0;
  for (int32_t trial = 0; trial < 2000; ++trial) {
    LineSamples samples;
    for (double& s : samples) s = double(random() % (3 * 16383 + 1)) * (1.0 / 3.0);
    const double b = (samples[0] + samples[1] + samples[5] + samples[6]) * 0.25;
    double weighted = 0.0, fusedWeighted = 0.0;
    for (int32_t j : {0, 1, 5, 6}) {
      weighted = weighted + Rounded(double(positions[j]) * samples[j]);
      fusedWeighted = std::fma(double(positions[j]), samples[j], fusedWeighted);
    }
    const double slope = weighted / 26.0, fusedSlope = fusedWeighted / 26.0;
    LineSamples fitted;
    FitLine(samples, positions, kCentreHalfWidth, b, fitted);
    for (int32_t j = 0; j < kPositionCount; ++j) {
      const double expected = Rounded(double(positions[j]) * slope) + b;
      ASSERT_EQ(fitted[j], expected) << "trial " << trial << ", position " << positions[j];
      fusedWouldDiffer += std::fma(double(positions[j]), fusedSlope, b) != expected;
    }
  }
  EXPECT_GT(fusedWouldDiffer, 100);  // the check has teeth
}

TEST(ComputeRatios, DividesSampleByFitAndUsesTenfoldSampleWhereFitIsZero) {
  const LineSamples fitted = {1.0, 1.0, 0.0, 4.0, -2.0, 1.0, 1.0};
  const LineSamples samples = {9.0, 9.0, 5.0, 2.0, 3.0, 9.0, 9.0};
  Ratios ratios;
  ComputeRatios(fitted, samples, kCentreHalfWidth, ratios);
  EXPECT_EQ(ratios[0], 50.0);
  EXPECT_EQ(ratios[1], 0.5);
  EXPECT_EQ(ratios[2], -1.5);
}

}  // namespace
}  // namespace tavrix
