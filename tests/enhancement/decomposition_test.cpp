#include "enhancement/decomposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "enhancement/enhancement_engine.h"

namespace tavrix {
namespace {

constexpr float kSentinel = -777.0f;

class DecompositionTest : public ::testing::Test {
 protected:
  // The taps exactly as the engine stores them.
  const float taps_[kTapCount] = {0.235233605f,    0.570558429f,   0.325182498f,
                                  -0.0954672098f, -0.0604161024f, 0.0249087494f};
  std::vector<float> lineBuffer_ = std::vector<float>(3072, 0.0f);
  LineFilter filter_{taps_, kTapCount, 2, lineBuffer_.data()};

  std::vector<float> FilterImpulse(int32_t length, int32_t position) {
    std::vector<float> line(length, 0.0f);
    line[position] = 1.0f;
    std::vector<float> out(length, kSentinel);
    FilterLine(line.data(), out.data(), 1, length, filter_);
    return out;
  }
};

TEST_F(DecompositionTest, ImpulsesMeetTapsInReverseOrderWithPeriodicExtension) {
  const float* lp = taps_;
  const float s = kSentinel;
  EXPECT_EQ(FilterImpulse(12, 0),
            (std::vector<float>{lp[1], lp[3], lp[5], 0, 0, 0, s, s, s, s, s, s}));
  EXPECT_EQ(FilterImpulse(12, 1),
            (std::vector<float>{lp[0], lp[2], lp[4], 0, 0, 0, s, s, s, s, s, s}));
  EXPECT_EQ(FilterImpulse(12, 11),
            (std::vector<float>{lp[2], lp[4], 0, 0, 0, lp[0], s, s, s, s, s, s}));
}

TEST_F(DecompositionTest, ConstantLineStaysConstant) {
  for (float v : {1.0f, 9.70406055f, -3.5f}) {
    std::vector<float> line(64, v);
    FilterLine(line.data(), line.data(), 1, 64, filter_);
    for (int32_t p = 0; p < 32; ++p) EXPECT_NEAR(line[p], v, std::abs(v) * 1e-6) << p;
  }
}

TEST_F(DecompositionTest, InPlaceColumnAndRowMatchSeparateBuffers) {
  constexpr int32_t kStride = 10, kRows = 8;
  std::vector<float> plane(kStride * kRows);
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = float(std::sin(double(i)));
  std::vector<float> separate(plane.size(), 0.0f), inPlace = plane;
  FilterColumn(kRows, filter_, plane.data(), separate.data(), 3, kStride);
  FilterColumn(kRows, filter_, inPlace.data(), inPlace.data(), 3, kStride);
  for (int32_t r = 0; r < kRows / 2; ++r) EXPECT_EQ(inPlace[r * kStride + 3], separate[r * kStride + 3]);

  FilterRow(kStride, filter_, plane.data(), separate.data(), 5, kStride);
  inPlace = plane;
  FilterRow(kStride, filter_, inPlace.data(), inPlace.data(), 5, kStride);
  for (int32_t c = 0; c < kStride / 2; ++c) EXPECT_EQ(inPlace[5 * kStride + c], separate[5 * kStride + c]);
}

TEST_F(DecompositionTest, LevelMatchesTwoDimensionalCircularFormulaInDouble) {
  // out[p][q] = sum over i, j of lp[i] lp[j] v[(2p + 1 - i) mod H][(2q + 1 - j) mod W]
  constexpr int32_t kWidth = 24, kHeight = 16, kStride = 30;
  std::vector<float> source(kStride * kHeight, kSentinel), destination(source.size(), kSentinel);
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t c = 0; c < kWidth; ++c)
      source[r * kStride + c] = float(5.0 + std::sin(0.7 * r) * std::cos(0.3 * c) + 0.01 * r * c);
  DecomposeLevel(kWidth, kHeight, filter_, source.data(), destination.data(), kStride);
  for (int32_t p = 0; p < kHeight / 2; ++p) {
    for (int32_t q = 0; q < kWidth / 2; ++q) {
      double expected = 0.0;
      for (int32_t i = 0; i < kTapCount; ++i)
        for (int32_t j = 0; j < kTapCount; ++j)
          expected += double(taps_[i]) * double(taps_[j]) *
                      double(source[((2 * p + 1 - i + kHeight) % kHeight) * kStride +
                                    (2 * q + 1 - j + kWidth) % kWidth]);
      EXPECT_NEAR(destination[p * kStride + q], expected, 1e-5) << p << "," << q;
    }
  }
  // Nothing beyond the column pass's rows, nor past the block's stride.
  for (int32_t r = kHeight / 2; r < kHeight; ++r)
    for (int32_t c = 0; c < kStride; ++c) ASSERT_EQ(destination[r * kStride + c], kSentinel);
  for (int32_t r = 0; r < kHeight / 2; ++r)
    for (int32_t c = kWidth; c < kStride; ++c) ASSERT_EQ(destination[r * kStride + c], kSentinel);
}

TEST_F(DecompositionTest, ConstantImageStaysConstantThroughFiveLevels) {
  constexpr int32_t kSide = 192, kStride = 200;
  const float value = 8.25f;
  std::vector<float> source(kStride * kSide, value), coefficients(source.size(), 0.0f);
  int32_t w = kSide, h = kSide;
  for (int32_t level = 0; level < 5; ++level) {
    DecomposeLevel(w, h, filter_, level == 0 ? source.data() : coefficients.data(),
                   coefficients.data(), kStride);
    w /= 2;
    h /= 2;
  }
  ASSERT_EQ(w, 6);
  for (int32_t r = 0; r < h; ++r)
    for (int32_t c = 0; c < w; ++c)
      EXPECT_NEAR(coefficients[r * kStride + c], value, 1e-5) << r << "," << c;
}

}  // namespace
}  // namespace tavrix
