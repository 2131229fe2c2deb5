#include "correction/impulse_noise.h"

#include <gtest/gtest.h>

#include "platform/dimensions.h"
#include "support/correction_images.h"

namespace tavrix {
namespace {

using tavrix_test::TestImage;

constexpr int32_t kSize = 32;
constexpr uint16_t kField = 1000;

// Positions of the image other than those listed hold `value`.
void ExpectFieldElsewhere(const TestImage& image, uint16_t value, std::initializer_list<std::pair<int, int>> except) {
  for (int32_t r = 0; r < image.height(); ++r) {
    for (int32_t c = 0; c < image.width(); ++c) {
      bool listed = false;
      for (const auto& p : except) listed = listed || (p.first == r && p.second == c);
      if (listed) continue;
      ASSERT_EQ(image(r, c), value) << "at " << r << ", " << c;
    }
  }
}

TEST(FilterImpulseNoise, ReplacesIsolatedOutlierWithNeighbourMean) {
  // 1001 is replaced too: the window mean is 1000 and the band 999..1000.
  for (uint16_t outlier : {2000, 0, 1100, 1001, 65535}) {
    SCOPED_TRACE(outlier);
    TestImage image(kSize, kSize, kField);
    image(15, 16) = outlier;
    FilterImpulseNoise(image.data(), kSize, kSize);
    ExpectFieldElsewhere(image, kField, {});
  }
}

TEST(FilterImpulseNoise, KeepsPixelOneBelowUniformField) {
  // Window mean 999 (the factor lies just below 0.04), band 989..1008.
  TestImage image(kSize, kSize, kField);
  image(15, 16) = 999;
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(15, 16), 999);
  ExpectFieldElsewhere(image, kField, {{15, 16}});
}

TEST(FilterImpulseNoise, KeepsTwoAdjacentOutliers) {
  TestImage image(kSize, kSize, kField);
  image(15, 16) = 2000;
  image(15, 17) = 2000;
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(15, 16), 2000);
  EXPECT_EQ(image(15, 17), 2000);
  ExpectFieldElsewhere(image, kField, {{15, 16}, {15, 17}});
}

TEST(FilterImpulseNoise, LeavesUniformFieldsAlone) {
  for (uint16_t value : {0, 1, 12, 5000, 16383, 65535}) {
    SCOPED_TRACE(value);
    TestImage image(kSize, kSize, value);
    FilterImpulseNoise(image.data(), kSize, kSize);
    ExpectFieldElsewhere(image, value, {});
  }
}

TEST(FilterImpulseNoise, MeanUsesSinglePrecisionFactorJustBelowOneTwentyFifth) {
  // Window sum 24950: the mean is 997, not 998, and 950 falls inside the band 949..1044.
  TestImage image(kSize, kSize, kField);
  image(15, 16) = 950;
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(15, 16), 950);

  // Window sum 25000: the mean is 999, not 1000, which widens the band to 981..1016.
  TestImage pair(kSize, kSize, kField);
  pair(15, 16) = 1010;
  pair(15, 18) = 990;
  FilterImpulseNoise(pair.data(), kSize, kSize);
  EXPECT_EQ(pair(15, 16), 1010);
}

TEST(FilterImpulseNoise, BandUsesSinglePrecisionFactorJustAboveOneFifth) {
  // Mean 949, deviation sum 2345: with 0.2f the lower limit truncates to 10,
  // with an exact 0.2 it would be 11 and the centre would be replaced.
  TestImage image(kSize, kSize, kField);
  image(7, 7) = 10;
  image(5, 5) = 716;  // row 5 is never tested itself
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(7, 7), 10);
  EXPECT_EQ(image(5, 5), 716);
}

TEST(FilterImpulseNoise, ReplacedPixelEntersLaterWindowsWithItsNewValue) {
  // Once the 2000 above is replaced, the 800 two rows below is an isolated
  // outlier; reading the original values it would stay.
  TestImage image(kSize, kSize, kField);
  image(8, 7) = 2000;
  image(10, 7) = 800;
  FilterImpulseNoise(image.data(), kSize, kSize);
  ExpectFieldElsewhere(image, kField, {});
}

TEST(FilterImpulseNoise, MeanExcludesNeighbourOutsideTheBand) {
  // Centre 0 with a neighbour of 1800: that neighbour lies outside the band
  // too and is left out, so the mean is of seven values (7006 / 7, not 8806 / 8).
  TestImage image(kSize, kSize, kField);
  image(15, 16) = 0;
  image(16, 17) = 1800;
  image(16, 15) = 1006;
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(15, 16), 1000);
  EXPECT_EQ(image(16, 15), 1006);
}

TEST(FilterImpulseNoise, ReplacementAboveRangeIsClampedTo16383) {
  TestImage image(kSize, kSize, 20000);
  image(15, 16) = 0;
  FilterImpulseNoise(image.data(), kSize, kSize);
  EXPECT_EQ(image(15, 16), 16383);
  EXPECT_EQ(image(15, 15), 20000);
}

TEST(FilterImpulseNoise, TestsOnlyRowsAndColumnsSixToThreeFromTheEnd) {
  TestImage image(kImageWidth, kImageHeight, kField);
  const int32_t last = kImageWidth - 3;  // 3069
  const std::pair<int, int> kept[] = {{5, 1000}, {last + 1, 1000}, {1000, 5}, {1000, last + 1}};
  const std::pair<int, int> replaced[] = {{6, 2000}, {last, 2000}, {2000, 6}, {2000, last}};
  for (const auto& p : kept) image(p.first, p.second) = 2000;
  for (const auto& p : replaced) image(p.first, p.second) = 2000;
  FilterImpulseNoise(image.data(), kImageWidth, kImageHeight);
  for (const auto& p : kept) EXPECT_EQ(image(p.first, p.second), 2000) << p.first << ", " << p.second;
  for (const auto& p : replaced) EXPECT_EQ(image(p.first, p.second), kField) << p.first << ", " << p.second;
}

}  // namespace
}  // namespace tavrix
