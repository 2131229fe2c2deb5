#include "correction/flagged_pixel_fill.h"

#include <gtest/gtest.h>

#include "support/correction_images.h"

namespace tavrix {
namespace {

using tavrix_test::TestImage;
using tavrix_test::TestPixelMap;

constexpr int32_t kSize = 16;
constexpr uint8_t kFill = 2;

TEST(FillFlaggedPixels, TakesTruncatedMeanOfBlockEndingAtThePixel) {
  TestImage image(kSize, kSize, 10);
  TestPixelMap map(kSize, kSize);
  map(8, 8) = kFill;
  image(6, 6) = 17;  // upper-left corner of the block: 87 / 8 = 10
  image(8, 8) = 5000;  // the pixel's own value plays no part
  // Right of and below the pixel: outside the block.
  image(8, 9) = 60000;
  image(9, 8) = 60000;
  image(9, 9) = 60000;
  image(7, 9) = 60000;
  FillFlaggedPixels(image.data(), kSize, kSize, map.rows());
  EXPECT_EQ(image(8, 8), 10);
}

TEST(FillFlaggedPixels, RunsReadValuesAlreadyFilledInThisPass) {
  // A field of 80 with fill-coded pixels of 0: each pixel of a run sees its
  // left (or upper) neighbour already filled with 80; with the old 0 it would be 70.
  TestImage image(kSize, kSize, 80);
  TestPixelMap map(kSize, kSize);
  for (int32_t c = 4; c < 8; ++c) {
    map(4, c) = kFill;
    image(4, c) = 0;
  }
  for (int32_t r = 9; r < 13; ++r) {
    map(r, 10) = kFill;
    image(r, 10) = 0;
  }
  FillFlaggedPixels(image.data(), kSize, kSize, map.rows());
  for (int32_t c = 4; c < 8; ++c) EXPECT_EQ(image(4, c), 80) << "column " << c;
  for (int32_t r = 9; r < 13; ++r) EXPECT_EQ(image(r, 10), 80) << "row " << r;
}

TEST(FillFlaggedPixels, LeavesRowsAndColumnsZeroAndOneAlone) {
  TestImage image(kSize, kSize, 80);
  TestPixelMap map(kSize, kSize);
  const std::pair<int, int> untouched[] = {{0, 5}, {1, 5}, {5, 0}, {5, 1}};
  for (const auto& p : untouched) {
    map(p.first, p.second) = kFill;
    image(p.first, p.second) = 7;
  }
  // The first and the last pixel that are filled.
  const std::pair<int, int> filled[] = {{2, 2}, {kSize - 1, kSize - 1}};
  for (const auto& p : filled) {
    map(p.first, p.second) = kFill;
    image(p.first, p.second) = 7;
  }
  FillFlaggedPixels(image.data(), kSize, kSize, map.rows());
  for (const auto& p : untouched) EXPECT_EQ(image(p.first, p.second), 7) << p.first << ", " << p.second;
  for (const auto& p : filled) EXPECT_EQ(image(p.first, p.second), 80) << p.first << ", " << p.second;
}

TEST(FillFlaggedPixels, IgnoresCodesOtherThanTheFillCode) {
  TestImage image(kSize, kSize, 80);
  TestPixelMap map(kSize, kSize);
  const uint8_t codes[] = {1, 3, 4, 255};
  for (int32_t i = 0; i < 4; ++i) {
    map(5, 3 + 3 * i) = codes[i];
    image(5, 3 + 3 * i) = 7;
  }
  // Flags in the map's last column and row are not pixel codes.
  map.SetRowFlag(6, kFill);
  map.SetColumnFlag(6, kFill);
  const TestImage before = image;
  FillFlaggedPixels(image.data(), kSize, kSize, map.rows());
  EXPECT_EQ(image.pixels(), before.pixels());
}

}  // namespace
}  // namespace tavrix
