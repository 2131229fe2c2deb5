#include "correction/correct_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "correction/border_mask.h"
#include "correction/line_defects.h"
#include "detector/detector.h"
#include "platform/dimensions.h"
#include "support/correction_images.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix {
namespace {

using tavrix_test::TestGainMap;
using tavrix_test::TestImage;
using tavrix_test::TestPixelMap;

constexpr int32_t kW = kImageWidth;
constexpr int32_t kH = kImageHeight;
constexpr uint16_t kWhite = 16383;

bool InBorder(int32_t r, int32_t c, int32_t width = kW, int32_t height = kH) {
  return r < kBorderMaskWidth || c < kBorderMaskWidth || r >= height - kBorderMaskWidth ||
         c >= width - kBorderMaskWidth;
}

// Every pixel in 0..16383 and the whole border white; reports the first offender.
void ExpectValidCorrectedImage(const TestImage& image) {
  for (int32_t r = 0; r < image.height(); ++r) {
    for (int32_t c = 0; c < image.width(); ++c) {
      if (InBorder(r, c, image.width(), image.height())) {
        ASSERT_EQ(image(r, c), kWhite) << "border at " << r << ", " << c;
      } else {
        ASSERT_LE(image(r, c), kWhite) << "at " << r << ", " << c;
      }
    }
  }
}

TEST(MaskBorder, WhitensFortyPixelBorderAndNothingInside) {
  const TestImage original = tavrix_test::RandomImage(kW, kH, 21);
  TestImage image = original;
  MaskBorder(image.data(), kW, kH);
  for (int32_t r = 0; r < kH; ++r) {
    for (int32_t c = 0; c < kW; ++c) {
      ASSERT_EQ(image(r, c), InBorder(r, c) ? kWhite : original(r, c)) << r << ", " << c;
    }
  }
}

TEST(CorrectImage, NeutralMapsChangeOnlyOutliersOverRangeValuesAndBorder) {
  // A smooth ramp has no outliers; its values stay as they are.
  TestImage image(kW, kH);
  for (int32_t r = 0; r < kH; ++r)
    for (int32_t c = 0; c < kW; ++c) image(r, c) = uint16_t(2000 + r + c);
  TestImage expected = image;
  for (int32_t r = 1000; r < 1009; ++r) {
    image.FillRow(r, 1000, 1009, 20000);  // above 14 bits: lowered to 16383
    expected.FillRow(r, 1000, 1009, kWhite);
  }
  image(500, 500) = 9000;  // isolated outliers take the ramp's value back
  image(2500, 700) = 0;
  MaskBorder(expected.data(), kW, kH);

  TestPixelMap map(kW, kH);
  TestGainMap gains(kW, kH, 1.0f);
  CorrectImage(image.data(), kW, kH, map.rows(), gains.rows());
  for (int32_t r = 0; r < kH; ++r)
    for (int32_t c = 0; c < kW; ++c) ASSERT_EQ(image(r, c), expected(r, c)) << r << ", " << c;
}

// Input that nothing in a frame or in calibration files rules out: every
// result must still be a valid image. The sanitizer build shows the
// arithmetic stays defined. The steps take their bounds from the image, so a
// smaller image runs the same code paths at a fraction of the cost.
constexpr int32_t kSmall = 512;
constexpr int32_t kRandomFrame = -1;

struct BadInput {
  const char* name;
  int32_t frame;       // every pixel's value, or kRandomFrame
  float gain;
  uint8_t pixelCode;   // every pixel's map byte
  uint8_t lineFlag;    // every row and column flag
};

class CorrectImageBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(CorrectImageBadInput, GivesPixelsInRangeAndWhiteBorder) {
  const BadInput& input = GetParam();
  TestImage image = input.frame == kRandomFrame ? tavrix_test::RandomImage(kSmall, kSmall, 31)
                                                : TestImage(kSmall, kSmall, uint16_t(input.frame));
  TestPixelMap map(kSmall, kSmall, input.pixelCode);
  for (int32_t i = 0; i < kSmall; ++i) {
    map.SetRowFlag(i, input.lineFlag);
    map.SetColumnFlag(i, input.lineFlag);
  }
  TestGainMap gains(kSmall, kSmall, input.gain);
  CorrectImage(image.data(), kSmall, kSmall, map.rows(), gains.rows());
  ExpectValidCorrectedImage(image);
}

constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(CorrectImage, RandomFrameAndMapsGiveValidFullSizeImage) {
  TestImage image = tavrix_test::RandomImage(kW, kH, 32);
  TestPixelMap map(kW, kH);
  std::mt19937 random(33);
  for (uint8_t& byte : map.values()) byte = random() % 50 == 0 ? uint8_t(random()) : 0;
  for (int32_t i = 0; i < kW; i += 97) {
    map.SetRowFlag(i, uint8_t(1 + random() % 3));
    map.SetColumnFlag(i + 1, 1);
  }
  const float gainValues[] = {1.0f, 0.5f, 3.0f, -1.0f, 0.0f, kInf, -kInf, std::numeric_limits<float>::quiet_NaN()};
  TestGainMap gains(kW, kH);
  for (float& gain : gains.values()) gain = random() % 10 == 0 ? gainValues[random() % 8] : 1.0f;
  CorrectImage(image.data(), kW, kH, map.rows(), gains.rows());
  ExpectValidCorrectedImage(image);
}

INSTANTIATE_TEST_SUITE_P(
    , CorrectImageBadInput,
    ::testing::Values(BadInput{"NaNGain", kRandomFrame, std::numeric_limits<float>::quiet_NaN(), 0, 0},
                      BadInput{"InfiniteGain", kRandomFrame, kInf, 0, 0},
                      BadInput{"MinusInfiniteGain", kRandomFrame, -kInf, 0, 0},
                      BadInput{"NegativeGain", kRandomFrame, -3.0f, 0, 0},
                      BadInput{"ZeroGain", kRandomFrame, 0.0f, 0, 0},
                      BadInput{"HugeGain", kRandomFrame, 1e30f, 0, 0},
                      BadInput{"EveryPixelFillCoded", kRandomFrame, 1.0f, 2, 0},
                      BadInput{"EveryByte255", kRandomFrame, 1.0f, 255, 255},
                      BadInput{"EveryRowAndColumnFlagged", kRandomFrame, 1.0f, 0, 3},
                      BadInput{"AllMaxFrame", 65535, 1.0f, 0, 0},
                      BadInput{"AllMaxFrameInfiniteGainAllFlagged", 65535, kInf, 1, 3},
                      BadInput{"AllZeroFrameEverythingFlagged", 0, 0.0f, 2, 1}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(CorrectImage, AllZeroFrameGivesZeroInsideWhiteBorder) {
  TestImage image(kW, kH, 0);
  TestPixelMap map(kW, kH);
  map.SetRowFlag(100, kRowFlagBothHalves);
  TestGainMap gains(kW, kH, 1.0f);
  CorrectImage(image.data(), kW, kH, map.rows(), gains.rows());
  for (int32_t r = 0; r < kH; ++r)
    for (int32_t c = 0; c < kW; ++c) ASSERT_EQ(image(r, c), InBorder(r, c) ? kWhite : 0) << r << ", " << c;
}

// The pipeline as the detector runs it: with panel 1 selected, panel 0's
// maps have no influence on the frame.
class DetectorCorrection : public tavrix_test::SimulatorTest {};

TEST_F(DetectorCorrection, UsesOnlyTheSelectedPanelsMaps) {
  auto detector = std::make_unique<Detector>();
  ASSERT_TRUE(detector->IsComplete());
  ASSERT_EQ(detector->PanelSelect(1), 1);
  const DetectorProbe probe(*detector);
  const TestImage frame = tavrix_test::SimulatedExposure(kW, kH, 41);
  auto corrected = [&]() {
    std::copy(frame.pixels().begin(), frame.pixels().end(), detector->Image());
    detector->CorrectImage();
    return std::vector<uint16_t>(detector->Image(), detector->Image() + kImagePixels);
  };
  // Panel 1's own maps act on the frame: a dark block from its gain map.
  for (int32_t r = 1000; r < 1100; ++r)
    for (int32_t c = 1000; c < 1100; ++c) probe.GainMap(1)[r][c] = 0.25f;
  const std::vector<uint16_t> panelOne = corrected();
  EXPECT_EQ(panelOne[size_t(1050) * kW + 1050], frame(1050, 1050) / 4);

  for (int32_t r = 0; r < kH; ++r) {
    for (int32_t c = 0; c < kW; ++c) {
      probe.GainMap(0)[r][c] = 0.25f;
      probe.PixelMap(0)[r][c] = 2;
    }
    probe.PixelMap(0)[r][kW] = kRowFlagBothHalves;
  }
  for (int32_t c = 0; c < kW; ++c) probe.PixelMap(0)[kH][c] = 1;
  EXPECT_EQ(corrected(), panelOne);
}

}  // namespace
}  // namespace tavrix
