#include "enhancement/smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tavrix {
namespace {

// The decay the run passes for an argument in tenths: a float tenth, widened.
double Decay(int32_t tenths) { return double(tenths) * double(0.1f); }

std::vector<uint16_t> RandomImage(int32_t width, int32_t height, uint32_t seed) {
  std::vector<uint16_t> image(size_t(width) * height);
  for (auto& p : image) {
    seed = seed * 1664525u + 1013904223u;
    p = uint16_t((seed >> 8) % 16384);
  }
  return image;
}

std::vector<uint16_t> Smoothed(std::vector<uint16_t> image, int32_t width, int32_t height,
                               int32_t radius, double decay) {
  double kernel[49];
  std::vector<uint16_t> copy(image.size());
  SmoothImage(radius, decay, kernel, image.data(), copy.data(), width, height);
  return image;
}

TEST(BuildKernel, WeightsFallOffAsOneOverExponentialOfDistance) {
  double kernel[9];
  BuildKernel(1, Decay(1), kernel);
  EXPECT_EQ(kernel[4], 1.0);
  for (int i : {1, 3, 5, 7}) EXPECT_NEAR(kernel[i], 0.904837, 1e-6) << i;
  for (int i : {0, 2, 6, 8}) EXPECT_NEAR(kernel[i], 0.868123, 1e-6) << i;
  double sum = 0.0;
  for (double w : kernel) sum += w;
  EXPECT_NEAR(sum, 8.091843, 1e-6);

  BuildKernel(1, Decay(30), kernel);
  EXPECT_EQ(kernel[4], 1.0);
  for (int i : {1, 3, 5, 7}) EXPECT_NEAR(kernel[i], 0.049787, 1e-6) << i;
  for (int i : {0, 2, 6, 8}) EXPECT_NEAR(kernel[i], 0.014370, 1e-6) << i;
}

TEST(SmoothImage, SpreadsSinglePixelByNormalisedWeights) {
  constexpr int32_t kSide = 9;
  std::vector<uint16_t> image(kSide * kSide, 0);
  image[4 * kSide + 4] = 8000;

  auto wide = Smoothed(image, kSide, kSide, 1, Decay(1));
  EXPECT_EQ(wide[4 * kSide + 4], 988);
  for (int32_t n : {3 * kSide + 4, 5 * kSide + 4, 4 * kSide + 3, 4 * kSide + 5})
    EXPECT_EQ(wide[n], 894) << n;
  for (int32_t n : {3 * kSide + 3, 3 * kSide + 5, 5 * kSide + 3, 5 * kSide + 5})
    EXPECT_EQ(wide[n], 858) << n;
  EXPECT_EQ(wide[2 * kSide + 4], 0);

  auto narrow = Smoothed(image, kSide, kSide, 1, Decay(30));
  EXPECT_EQ(narrow[4 * kSide + 4], 6366);
  EXPECT_EQ(narrow[3 * kSide + 4], 316);
  EXPECT_EQ(narrow[3 * kSide + 3], 91);
}

TEST(SmoothImage, LeavesBorderOfRadiusUntouched) {
  constexpr int32_t kWidth = 17, kHeight = 13;
  const auto original = RandomImage(kWidth, kHeight, 7);
  for (int32_t radius : {1, 3}) {
    const auto result = Smoothed(original, kWidth, kHeight, radius, Decay(1));
    int32_t interiorChanged = 0;
    for (int32_t r = 0; r < kHeight; ++r) {
      for (int32_t c = 0; c < kWidth; ++c) {
        const size_t i = size_t(r) * kWidth + c;
        const bool border =
            r < radius || c < radius || r >= kHeight - radius || c >= kWidth - radius;
        if (border)
          EXPECT_EQ(result[i], original[i]) << "radius " << radius << " at " << r << "," << c;
        else
          interiorChanged += result[i] != original[i];
      }
    }
    EXPECT_GT(interiorChanged, 0) << radius;
  }
}

TEST(SmoothImage, KeepsFlatRegionAtItsValueOrOneBelow) {
  constexpr int32_t kSide = 12;
  for (uint16_t value : {uint16_t(1), uint16_t(777), uint16_t(12345), uint16_t(16383)}) {
    for (int32_t radius = 1; radius <= 3; ++radius) {
      for (int32_t tenths : {1, 7, 30}) {
        const auto result =
            Smoothed(std::vector<uint16_t>(kSide * kSide, value), kSide, kSide, radius,
                     Decay(tenths));
        for (uint16_t p : result) {
          ASSERT_TRUE(p == value || p == value - 1)
              << p << " from " << value << " r " << radius << " a " << tenths;
        }
      }
    }
  }
}

TEST(SmoothImage, HighDecayChangesImageLessThanLowDecayWithWideKernel) {
  constexpr int32_t kSide = 32;
  const auto original = RandomImage(kSide, kSide, 99);
  auto change = [&](int32_t radius, int32_t tenths) {
    const auto result = Smoothed(original, kSide, kSide, radius, Decay(tenths));
    int64_t total = 0;
    for (size_t i = 0; i < original.size(); ++i) total += std::abs(result[i] - original[i]);
    return total;
  };
  EXPECT_LT(change(1, 30), change(3, 1));
}

}  // namespace
}  // namespace tavrix
