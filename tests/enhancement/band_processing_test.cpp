#include "enhancement/band_processing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavrix {
namespace {

TEST(CentredMean, WindowShrinksSymmetricallyAtBothEndsOfLine) {
  // Powers of ten show which positions entered each mean.
  const std::vector<float> line = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
  const int32_t n = int32_t(line.size());
  auto mean = [&](int32_t k, int32_t w) { return CentredMean(line.data(), 1, n, k, w); };
  EXPECT_EQ(mean(0, 5), 1.0);
  EXPECT_EQ(mean(1, 5), 111.0 / 3.0);
  EXPECT_EQ(mean(2, 5), 11111.0 / 5.0);
  EXPECT_EQ(mean(3, 5), 111110.0 / 5.0);
  EXPECT_EQ(mean(5, 5), 11111000.0 / 5.0);
  EXPECT_EQ(mean(6, 5), 11100000.0 / 3.0);
  EXPECT_EQ(mean(7, 5), 10000000.0);
  EXPECT_EQ(mean(0, 3), 1.0);
  EXPECT_EQ(mean(1, 3), 111.0 / 3.0);
  EXPECT_EQ(mean(6, 3), 11100000.0 / 3.0);
  EXPECT_EQ(mean(7, 3), 10000000.0);
}

TEST(CentredMean, LineShorterThanWindowStaysWithinLine) {
  const std::vector<float> line = {4, 8};
  EXPECT_EQ(CentredMean(line.data(), 1, 2, 0, 5), 4.0);
  EXPECT_EQ(CentredMean(line.data(), 1, 2, 1, 5), 8.0);
}

// Rows grow as powers of 3 and columns as 100 times powers of 3, so a mean
// down a column and one along a row differ everywhere inside the band.
float PowersBand(int32_t r, int32_t c) {
  int32_t rowPart = 1, columnPart = 100;
  for (int32_t k = 0; k < r; ++k) rowPart *= 3;
  for (int32_t k = 0; k < c; ++k) columnPart *= 3;
  return float(rowPart + columnPart);
}

TEST(VerticalLocalMean, AveragesDownColumnsNotAlongRows) {
  constexpr int32_t kStride = 6;
  const Band size{4, 5, kStride};
  std::vector<float> band(kStride * 5), means(band.size(), -1.0f);
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t c = 0; c < 4; ++c) band[r * kStride + c] = PowersBand(r, c);
  VerticalLocalMean(band.data(), means.data(), size, 3);
  EXPECT_EQ(means[2 * kStride + 1], 313.0f);  // (3 + 9 + 27) / 3 + 300
  EXPECT_EQ(means[3 * kStride + 0], 139.0f);  // (9 + 27 + 81) / 3 + 100
  EXPECT_EQ(means[0 * kStride + 2], 901.0f) << "the top row is its own mean";
  EXPECT_EQ(means[4 * kStride + 3], 2781.0f) << "the bottom row is its own mean";
  EXPECT_EQ(means[0 * kStride + 4], -1.0f) << "wrote past the band";
}

TEST(ComputeCorrectionBand, SubtractsBothMeansFromCentreAndScalesByGain) {
  constexpr int32_t kStride = 5;
  const Band size{5, 5, kStride};
  std::vector<float> band(kStride * 5), means(band.size()), correction(band.size());
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t c = 0; c < 5; ++c) band[r * kStride + c] = PowersBand(r, c);
  VerticalLocalMean(band.data(), means.data(), size, 3);
  ComputeCorrectionBand(band.data(), means.data(), correction.data(), size, 3, 5000.0f, 0.5f);
  // At (2, 2): row mean 9 + 1300, column mean 13 + 900.
  EXPECT_EQ(correction[2 * kStride + 2], (5000.0f - 2222.0f) * 0.5f);
  // At (0, 4), the end of the top row, both means are the pixel, 1 + 8100.
  EXPECT_EQ(correction[0 * kStride + 4], (5000.0f - 16202.0f) * 0.5f);
}

TEST(ComputeCorrectionBand, ConstantBandGivesCentreLessTwiceValueTimesGainToItsEnds) {
  constexpr int32_t kSide = 96;
  const Band size{kSide, kSide, kSide};
  const float a = 9.3f, centre = 10.2f, gain = 0.049999997f;
  std::vector<float> band(kSide * kSide, a), means(band.size()), correction(band.size());
  for (int32_t window : {3, 5}) {
    VerticalLocalMean(band.data(), means.data(), size, window);
    ComputeCorrectionBand(band.data(), means.data(), correction.data(), size, window, centre,
                          gain);
    const float expected = float((double(centre) - 2.0 * double(a)) * double(gain));
    for (float v : correction) ASSERT_EQ(v, expected);
  }
}

TEST(ComputeCorrectionBand, KeepsRowMeanInDoubleRatherThanRoundingItToFloat) {
  constexpr int32_t kColumns = 256;
  const Band size{kColumns, 1, kColumns};
  const float centre = 9.6803436f, gain = 0.049999997f;
  std::vector<float> band(kColumns), means(kColumns), correction(kColumns);
  uint32_t state = 11u;
  for (float& v : band) {
    state = state * 1664525u + 1013904223u;
    v = 7.0f + float(state >> 8) / float(1u << 24);
  }
  VerticalLocalMean(band.data(), means.data(), size, 5);
  ComputeCorrectionBand(band.data(), means.data(), correction.data(), size, 5, centre, gain);
  int32_t roundingWouldShow = 0;
  for (int32_t c = 0; c < kColumns; ++c) {
    const double h = CentredMean(band.data(), 1, kColumns, c, 5);
    auto scaled = [&](double mean) {
      return float((double(centre) - (mean + double(means[c]))) * double(gain));
    };
    ASSERT_EQ(correction[c], scaled(h)) << c;
    roundingWouldShow += scaled(double(float(h))) != scaled(h);
  }
  EXPECT_GT(roundingWouldShow, 0) << "no pixel where a float row mean would differ";
}

}  // namespace
}  // namespace tavrix
