#include "correction/gain_correction.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/dimensions.h"
#include "support/correction_images.h"

namespace tavrix {
namespace {

using tavrix_test::TestGainMap;
using tavrix_test::TestImage;

constexpr int32_t kSize = 48;  // leaves 8 x 8 pixels inside the frame
constexpr int32_t kInside = 24;

uint16_t Corrected(uint16_t pixel, float gain) {
  TestImage image(kSize, kSize, pixel);
  TestGainMap gains(kSize, kSize, gain);
  ApplyGainMap(image.data(), kSize, kSize, gains.rows());
  return image(kInside, kInside);
}

TEST(ApplyGainMap, TruncatesClampedProduct) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    uint16_t pixel;
    float gain;
    uint16_t expected;
  };
  const Case cases[] = {
      {1001, 0.5f, 500},     {1000, 1.5f, 1500},   {16383, 1.01f, 16383}, {1000, 20.0f, 16383},
      {65535, 1.0f, 16383},  {1000, 1e30f, 16383}, {1000, -1.0f, 0},      {1000, -0.0f, 0},
      {1000, 0.0f, 0},       {1000, kInf, 16383},  {0, kInf, 0},          {1000, -kInf, 0},
      {1000, kNaN, 0},       {0, kNaN, 0},         {0, 0.0f, 0},
      // 1001 times the float nearest 1/1001 is just below 1 in double
      // precision; a single-precision product would round it up to 1.
      {1001, 1.0f / 1001.0f, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Corrected(c.pixel, c.gain), c.expected) << c.pixel << " x " << c.gain;
  }
}

TEST(ApplyGainMap, SetsTwentyPixelFrameWhateverPixelAndGain) {
  TestImage image(kImageWidth, kImageHeight, 1000);
  TestGainMap gains(kImageWidth, kImageHeight, std::numeric_limits<float>::quiet_NaN());
  // Gain 2 on the first and last rows and columns the gain applies to.
  const int32_t first = kGainFrameWidth, last = kImageWidth - 1 - kGainFrameWidth;  // 20 and 3051
  for (int32_t i = 0; i < kImageWidth; ++i) {
    gains(first, i) = gains(last, i) = gains(i, first) = gains(i, last) = 2.0f;
  }
  image(0, 0) = 0;
  image(3071, 3071) = 65535;
  ApplyGainMap(image.data(), kImageWidth, kImageHeight, gains.rows());

  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const bool frame = r < first || c < first || r > last || c > last;
      const bool edgeOfGain = r == first || c == first || r == last || c == last;
      const uint16_t expected = frame ? 16383 : edgeOfGain ? 2000 : 0;
      ASSERT_EQ(image(r, c), expected) << r << ", " << c;
    }
  }
}

}  // namespace
}  // namespace tavrix
