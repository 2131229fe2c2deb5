#include "enhancement/reconstruction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/wait.h"
#include "enhancement/display_window.h"

namespace tavrix {
namespace {

constexpr float kSentinel = -777.0f;

std::vector<int32_t> g_sleeps;
void RecordSleep(int32_t milliseconds) { g_sleeps.push_back(milliseconds); }
int64_t FixedNow() { return 0; }

// Records the sleeps instead of sleeping while it lives.
class RecordedSleeps {
 public:
  RecordedSleeps() : previous_(ReplaceWaitFunctions({RecordSleep, FixedNow})) { g_sleeps.clear(); }
  ~RecordedSleeps() { ReplaceWaitFunctions(previous_); }

 private:
  WaitFunctions previous_;
};

TEST(UpsampleLevel, InterpolatesOddRowsAndColumnsAndReplicatesLastSample) {
  constexpr int32_t kStride = 5;
  std::vector<float> source(kStride * 4, kSentinel), plane(kStride * 4, kSentinel);
  source[0] = 1, source[1] = 2, source[kStride] = 3, source[kStride + 1] = 4;
  UpsampleLevel(source.data(), plane.data(), kStride, 2, 2, FinalOutput{nullptr, nullptr, 0},
                false);
  const float s = kSentinel;
  EXPECT_EQ(plane, (std::vector<float>{1, 1.5f, 2, 2, s,  //
                                       2, 2.5f, 3, 3, s,  //
                                       3, 3.5f, 4, 4, s,  //
                                       3, 3.5f, 4, 4, s}));
}

TEST(UpsampleLevel, LastStepAppliesZeroCorrectionAsGlobalFactorWithClamp) {
  // m + 1 times e^(0.04 strength), minus 1, clamped and truncated.
  struct Case {
    uint16_t mapped;
    int32_t strength;
    uint16_t expected;
  };
  const Case cases[] = {{1169, 10, 1744},    {1169, -10, 783},    {1169, -200, 0},
                        {11663, 10, 16383},  {11663, -10, 7817},  {0, 0, 0}};
  for (const Case& c : cases) {
    std::vector<float> band(4, 0.0f), logImage(4, LogImageValue(c.mapped));
    std::vector<uint16_t> image(4, 0xBEEF);
    UpsampleLevel(band.data(), nullptr, 2, 1, 1, FinalOutput{logImage.data(), image.data(), c.strength},
                  true);
    EXPECT_EQ(image, std::vector<uint16_t>(4, c.expected)) << c.mapped << " " << c.strength;
  }
}

TEST(UpsampleLevel, MapsOverflowAndNotANumberIntoRange) {
  constexpr int32_t kStride = 4;
  std::vector<float> band = {1000.0f, std::nanf(""), 0.0f, 0.0f};
  std::vector<float> logImage(2 * kStride, 1.0f);
  std::vector<uint16_t> image(2 * kStride, 0xBEEF);
  UpsampleLevel(band.data(), nullptr, kStride, 2, 1,
                FinalOutput{logImage.data(), image.data(), 0}, true);
  EXPECT_EQ(image[0], 16383);
  EXPECT_EQ(image[2], 0) << "NaN must become 0";
  EXPECT_EQ(image[kStride + 3], 0);
}

TEST(UpsampleLevel, FirstRowAndColumnDependOnlyOnFirstSourceRowAndColumn) {
  constexpr int32_t kSide = 6, kStride = 12;
  std::vector<float> source(kStride * kSide), changed;
  for (size_t i = 0; i < source.size(); ++i) source[i] = float(std::sin(double(i)));
  changed = source;
  for (int32_t r = 1; r < kSide; ++r)
    for (int32_t c = 1; c < kSide; ++c) changed[r * kStride + c] += 1.0f;
  std::vector<float> a(kStride * kStride), b(kStride * kStride);
  const FinalOutput none{nullptr, nullptr, 0};
  UpsampleLevel(source.data(), a.data(), kStride, kSide, kSide, none, false);
  UpsampleLevel(changed.data(), b.data(), kStride, kSide, kSide, none, false);
  for (int32_t i = 0; i < 2 * kSide; ++i) {
    EXPECT_EQ(a[i], b[i]) << "row 0, column " << i;
    EXPECT_EQ(a[i * kStride], b[i * kStride]) << "column 0, row " << i;
  }
  EXPECT_NE(a[kStride + 1], b[kStride + 1]);
}

TEST(Reconstruct, ConstantBandStaysConstantToLastRowAndColumn) {
  constexpr int32_t kBand = 3, kLevels = 3, kSide = kBand << kLevels, kStride = kSide;
  const float b = -0.3f;
  const int32_t strength = 10;
  std::vector<float> band(kStride * kSide, 0.0f), other(band.size(), 0.0f);
  for (int32_t r = 0; r < kBand; ++r)
    for (int32_t c = 0; c < kBand; ++c) band[r * kStride + c] = b;
  std::vector<float> logImage(band.size(), LogImageValue(9000));
  std::vector<uint16_t> image(band.size(), 0);
  RecordedSleeps sleeps;
  Reconstruct(band.data(), other.data(), FinalOutput{logImage.data(), image.data(), strength},
              kStride, kBand, kBand, kLevels);

  const uint16_t expected = uint16_t(
      std::exp(double(b) + double(logImage[0]) + double(strength) * double(0.01f) * 4.0) - 1.0);
  for (int32_t r = 0; r < kSide; ++r)
    for (int32_t c = 0; c < kSide; ++c)
      ASSERT_EQ(image[r * kStride + c], expected) << r << "," << c;
  EXPECT_EQ(g_sleeps, (std::vector<int32_t>{0, 0, 0})) << "one zero sleep before each step";
}

TEST(Reconstruct, SingleLevelInterpolatesBandStraightIntoImage) {
  constexpr int32_t kStride = 4;
  std::vector<float> band(kStride * 4, 0.0f), other(band.size(), kSentinel);
  band[0] = 0.5f, band[1] = -0.5f, band[kStride] = 0.25f, band[kStride + 1] = 0.0f;
  std::vector<float> logImage(band.size(), LogImageValue(1000));
  std::vector<uint16_t> image(band.size(), 0);
  RecordedSleeps sleeps;
  Reconstruct(band.data(), other.data(), FinalOutput{logImage.data(), image.data(), 0}, kStride,
              2, 2, 1);
  EXPECT_EQ(other, std::vector<float>(band.size(), kSentinel)) << "the last step writes no plane";
  const double m1 = double(logImage[0]);
  EXPECT_EQ(image[0], uint16_t(std::exp(0.5 + m1) - 1.0));
  EXPECT_EQ(image[1], uint16_t(std::exp(0.0 + m1) - 1.0));
  EXPECT_EQ(image[kStride + 1], uint16_t(std::exp((0.5 - 0.5 + 0.25 + 0.0) * 0.25 + m1) - 1.0));
  EXPECT_EQ(g_sleeps.size(), 1u);
}

TEST(Reconstruct, NoLevelLeavesImageAndPlanesAlone) {
  std::vector<float> band(16, 1.0f), other(16, kSentinel), logImage(16, 1.0f);
  std::vector<uint16_t> image(16, 4242);
  RecordedSleeps sleeps;
  Reconstruct(band.data(), other.data(), FinalOutput{logImage.data(), image.data(), 10}, 4, 4, 4,
              0);
  EXPECT_EQ(image, std::vector<uint16_t>(16, 4242));
  EXPECT_EQ(other, std::vector<float>(16, kSentinel));
  EXPECT_TRUE(g_sleeps.empty());
}

}  // namespace
}  // namespace tavrix
