#include "dicom/display_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrix_tool {
namespace {

constexpr int32_t kSide = 3072;

TEST(DisplayWindowTest, WindowSpansTheDataAreaNotTheBorderNorTheDatalessColumns) {
  // Data 2000..5999 across the columns; the border at 16383 and the
  // data-less columns at 0 would widen a window taken over everything.
  std::vector<uint16_t> image(size_t(kSide) * kSide);
  for (int32_t r = 0; r < kSide; ++r)
    for (int32_t c = 0; c < kSide; ++c) {
      uint16_t value = uint16_t(2000 + (c * 4000) / kSide);
      if (c >= 1280 && c < 1792) value = 0;
      if (r < 40 || c < 40 || r >= kSide - 40 || c >= kSide - 40) value = 16383;
      image[size_t(r) * kSide + size_t(c)] = value;
    }
  const VoiWindow window = DataAreaWindow(image.data(), kSide, kSide);
  const double black = window.center - 0.5 - (window.width - 1) / 2;
  const double white = window.center - 0.5 + (window.width - 1) / 2;
  EXPECT_GT(black, 2000);
  EXPECT_LT(black, 2100);
  EXPECT_GT(white, 5900);
  EXPECT_LT(white, 6000);
}

TEST(DisplayWindowTest, ShowsTheLowValueBlackAndTheHighWhite) {
  const VoiWindow window = VoiWindowShowing({1000, 3000});
  EXPECT_EQ(window.center - 0.5 - (window.width - 1) / 2, 1000);
  EXPECT_EQ(window.center - 0.5 + (window.width - 1) / 2, 3000);
  EXPECT_GE(VoiWindowShowing({7, 7}).width, 1);  // a flat image still has a window
}

}  // namespace
}  // namespace tavrix_tool
