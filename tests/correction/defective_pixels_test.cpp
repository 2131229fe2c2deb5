#include "correction/defective_pixels.h"

#include <gtest/gtest.h>

#include "support/correction_images.h"

namespace tavrix {
namespace {

using tavrix_test::TestImage;
using tavrix_test::TestPixelMap;

constexpr int32_t kSize = 16;

TEST(CorrectDefectivePixels, TakesTruncatedMeanOfGoodNeighboursOnly) {
  // Only the neighbours 100 and 101 are good: 201 / 2 = 100. The defective
  // neighbours, of any code, hold 60000 and must not count.
  TestImage image(kSize, kSize, 60000);
  TestPixelMap map(kSize, kSize, 1);
  const uint8_t codes[] = {1, 2, 3, 255};
  for (int32_t i = 0; i < 4; ++i) map(7, 7 + i) = codes[i];  // the pixel and three neighbours
  map(6, 6) = 0;
  image(6, 6) = 100;
  map(8, 8) = 0;
  image(8, 8) = 101;
  CorrectDefectivePixels(image.data(), kSize, kSize, map.rows());
  EXPECT_EQ(image(7, 7), 100);
}

TEST(CorrectDefectivePixels, ClusterTakesOutsideNeighboursAndItsCentreKeepsItsValue) {
  // A 3 x 3 cluster of 0s in a field of 1000: the ring takes 1000 from the
  // good pixels around it, the centre has no good neighbour and stays.
  TestImage image(kSize, kSize, 1000);
  TestPixelMap map(kSize, kSize);
  for (int32_t r = 6; r <= 8; ++r) {
    for (int32_t c = 6; c <= 8; ++c) {
      map(r, c) = 1;
      image(r, c) = 0;
    }
  }
  image(7, 7) = 777;
  CorrectDefectivePixels(image.data(), kSize, kSize, map.rows());
  for (int32_t r = 6; r <= 8; ++r)
    for (int32_t c = 6; c <= 8; ++c) EXPECT_EQ(image(r, c), r == 7 && c == 7 ? 777 : 1000) << r << ", " << c;
}

TEST(CorrectDefectivePixels, ClampsPixelWithoutGoodNeighbours) {
  TestImage image(kSize, kSize, 20000);
  TestPixelMap map(kSize, kSize, 1);
  CorrectDefectivePixels(image.data(), kSize, kSize, map.rows());
  EXPECT_EQ(image(7, 7), 16383);
  EXPECT_EQ(image(0, 7), 20000);
}

TEST(CorrectDefectivePixels, LeavesOutermostRowsAndColumnsAlone) {
  TestImage image(kSize, kSize, 500);
  TestPixelMap map(kSize, kSize);
  const int32_t last = kSize - 1;
  const std::pair<int, int> untouched[] = {{0, 5}, {last, 5}, {5, 0}, {5, last}, {0, 0}, {last, last}};
  const std::pair<int, int> corrected[] = {{1, 9}, {last - 1, 9}, {9, 1}, {9, last - 1}};
  for (const auto& p : untouched) {
    map(p.first, p.second) = 1;
    image(p.first, p.second) = 7;
  }
  for (const auto& p : corrected) {
    map(p.first, p.second) = 1;
    image(p.first, p.second) = 7;
  }
  CorrectDefectivePixels(image.data(), kSize, kSize, map.rows());
  for (const auto& p : untouched) EXPECT_EQ(image(p.first, p.second), 7) << p.first << ", " << p.second;
  for (const auto& p : corrected) EXPECT_EQ(image(p.first, p.second), 500) << p.first << ", " << p.second;
}

TEST(CorrectDefectivePixels, IgnoresRowAndColumnFlags) {
  TestImage image = tavrix_test::RandomImage(kSize, kSize, 7, 16383);
  TestPixelMap map(kSize, kSize);
  for (int32_t i = 0; i <= kSize; ++i) {
    map.SetRowFlag(i, 3);
    map.SetColumnFlag(i, 1);
  }
  const TestImage before = image;
  CorrectDefectivePixels(image.data(), kSize, kSize, map.rows());
  EXPECT_EQ(image.pixels(), before.pixels());
}

}  // namespace
}  // namespace tavrix
