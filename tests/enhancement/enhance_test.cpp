#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixel_rules.h"
#include "platform/dimensions.h"
#include "platform/wait.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/smoothing.h"
#include "support/detector_fixture.h"
#include "support/enhancement_engine_probe.h"
#include "support/synthetic_radiograph.h"

namespace tavrix {
namespace {

using Image = std::vector<uint16_t>;

// One engine for the whole suite: its planes are large and every run clears them.
class EnhanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    engine_ = new EnhancementEngine;
    picture_ = new Image(tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight));
  }
  static void TearDownTestSuite() {
    delete engine_;
    delete picture_;
    engine_ = nullptr;
    picture_ = nullptr;
  }

  struct Result {
    Image source;
    Image destination;
  };

  static Result Run(const Image& source, int32_t levels, int32_t strength, int32_t radius,
                    int32_t decay) {
    Result result{source, Image(kImagePixels, 0x5A5A)};
    engine_->Enhance(result.source.data(), result.destination.data(), levels, strength, radius,
                     decay, kImageWidth, kImageHeight);
    return result;
  }
  static EnhancementEngineProbe Engine() { return EnhancementEngineProbe(*engine_); }

  static EnhancementEngine* engine_;
  static Image* picture_;
};

EnhancementEngine* EnhanceTest::engine_ = nullptr;
Image* EnhanceTest::picture_ = nullptr;

TEST_F(EnhanceTest, EngineIsCompleteWithExactTapsAndTablesFromPlainExpressions) {
  ASSERT_TRUE(engine_->IsComplete());
  const float taps[kTapCount] = {0.235233605f,    0.570558429f,   0.325182498f,
                                 -0.0954672098f, -0.0604161024f, 0.0249087494f};
  for (int32_t t = 0; t < kTapCount; ++t) EXPECT_EQ(Engine().LowPass()[t], taps[t]) << t;
  for (uint32_t v = 0; v < kLogMapTableSize; ++v) {
    ASSERT_EQ(Engine().LogMapTable()[v], LogMapValue(uint16_t(v))) << v;
    ASSERT_EQ(Engine().LogImageTable()[v], LogImageValue(uint16_t(v))) << v;
  }
}

TEST_F(EnhanceTest, CapsLevelsAtFiveAndWidensMeanWindowForFourOrFive) {
  // Strength 0 returns before any image work, with the parameters stored.
  Image source(kImagePixels, 100), destination(kImagePixels, 0);
  struct Case {
    int32_t requested, levels, window;
  };
  for (Case c : {Case{9, 5, 5}, Case{5, 5, 5}, Case{4, 4, 5}, Case{3, 3, 3}, Case{1, 1, 3},
                 Case{-2, -2, 3}}) {
    engine_->Enhance(source.data(), destination.data(), c.requested, 0, 3, 10, kImageWidth,
                     kImageHeight);
    EXPECT_EQ(Engine().Levels(), c.levels) << c.requested;
    EXPECT_EQ(Engine().WindowSize(), c.window) << c.requested;
  }
}

TEST_F(EnhanceTest, StoresDecayAsFloatTenthWidenedAndZeroWhenOutOfRange) {
  Image source(kImagePixels, 100), destination(kImagePixels, 0);
  engine_->Enhance(source.data(), destination.data(), 5, 0, 2, 10, kImageWidth, kImageHeight);
  EXPECT_EQ(Engine().SmoothingDecay(), 1.0000000149011612);
  EXPECT_EQ(Engine().SmoothingRadius(), 2);
  engine_->Enhance(source.data(), destination.data(), 5, 0, 7, 31, kImageWidth, kImageHeight);
  EXPECT_EQ(Engine().SmoothingDecay(), 0.0);
  EXPECT_EQ(Engine().SmoothingRadius(), 0);
}

TEST_F(EnhanceTest, NegativeLevelsSmoothSourceAndLeaveLogMappedImageInDestination) {
  const int32_t radius = 2, decay = 10;
  const Result result = Run(*picture_, -1, 10, radius, decay);

  Image smoothed = *picture_, copy(kImagePixels);
  double kernel[49];
  SmoothImage(radius, double(decay) * double(0.1f), kernel, smoothed.data(), copy.data(),
              kImageWidth, kImageHeight);
  ASSERT_TRUE(result.source == smoothed) << "source does not hold the smoothed image";
  for (size_t i = 0; i < kImagePixels; ++i)
    ASSERT_EQ(result.destination[i], LogMapValue(smoothed[i])) << i;

  // The window and the scale come from this image.
  EXPECT_GT(Engine().WindowLow(), 1169);
  EXPECT_LT(Engine().WindowLow(), Engine().WindowHigh());
  EXPECT_EQ(Engine().WindowHigh(), 16383) << "more than 3 % of the picture is border mask";
  EXPECT_EQ(Engine().Gain(), 0.049999997f);
  EXPECT_EQ(Engine().LogImage()[12345], LogImageValue(result.destination[12345]));
}

TEST_F(EnhanceTest, SourceEqualToDestinationGivesSameResultAsSeparateBuffers) {
  const Result separate = Run(*picture_, 3, 10, 1, 5);
  Image shared = *picture_;
  engine_->Enhance(shared.data(), shared.data(), 3, 10, 1, 5, kImageWidth, kImageHeight);
  EXPECT_TRUE(shared == separate.destination);
}

TEST_F(EnhanceTest, ResultDoesNotDependOnEarlierRuns) {
  const Result first = Run(*picture_, 3, 10, 1, 5);
  Image other(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i) other[i] = uint16_t((i * 7919) % 16384);
  Run(other, 5, -40, 3, 30);
  const Result again = Run(*picture_, 3, 10, 1, 5);
  EXPECT_TRUE(again.destination == first.destination);
  EXPECT_TRUE(again.source == first.source);
}

std::vector<int32_t> g_sleeps;
void RecordSleep(int32_t milliseconds) { g_sleeps.push_back(milliseconds); }
int64_t FixedNow() { return 0; }

TEST_F(EnhanceTest, RequestAboveCapRunsFiveLevelsDownToNinetySixSquareBand) {
  const WaitFunctions previous = ReplaceWaitFunctions({RecordSleep, FixedNow});
  g_sleeps.clear();
  const Result result = Run(*picture_, 9, 10, 1, 10);
  ReplaceWaitFunctions(previous);
  EXPECT_EQ(g_sleeps, (std::vector<int32_t>(5, 0)));
  EXPECT_EQ(Engine().BandWidth(), 96);
  EXPECT_EQ(Engine().BandHeight(), 96);
  EXPECT_EQ(Engine().WindowSize(), 5);
  // Every pixel was written, within range.
  EXPECT_EQ(std::count(result.destination.begin(), result.destination.end(), 0x5A5A), 0);
  EXPECT_LE(*std::max_element(result.destination.begin(), result.destination.end()), 16383);
}

// The whole one-level run recomputed in double precision from its definition:
// the db3 approximation (the taps are db3's scaling filter divided by the
// square root of 2), centred means of 3, linear enlargement and the return
// from the log domain.
TEST_F(EnhanceTest, OneLevelRunMatchesIndependentDoublePrecisionComputation) {
  const int32_t strength = 40;
  const Result result = Run(*picture_, 1, strength, 1, 10);
  const int32_t n = kImageWidth, half = n / 2;
  auto at = [n](int32_t r, int32_t c) { return size_t(r) * size_t(n) + size_t(c); };

  std::vector<uint16_t> mapped(kImagePixels);
  std::vector<double> logImage(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i) {
    mapped[i] = LogMapValue(result.source[i]);
    logImage[i] = std::log(double(mapped[i]) + 1.0);
  }
  std::vector<uint16_t> sorted = mapped;
  std::sort(sorted.begin(), sorted.end());
  const int32_t low = std::max<int32_t>(1, std::min<int32_t>(sorted[283115], 16383));
  const int32_t high = std::min<int32_t>(sorted[9154068], 16383);
  ASSERT_EQ(Engine().WindowLow(), low);
  ASSERT_EQ(Engine().WindowHigh(), high);
  const double centre = std::log(double(low + high));
  const double gain = strength * 0.005;

  const double root = std::sqrt(5.0 + 2.0 * std::sqrt(10.0)), ten = std::sqrt(10.0);
  const double db3[6] = {(1 + ten + root) / 32,          (5 + ten + 3 * root) / 32,
                         (10 - 2 * ten + 2 * root) / 32, (10 - 2 * ten - 2 * root) / 32,
                         (5 + ten - 3 * root) / 32,      (1 + ten - root) / 32};
  // out[p] = sum over j of db3[j] * v[(2p + 1 - j) mod n], down the columns, then along the rows.
  std::vector<double> columns(size_t(half) * n), band(size_t(half) * half);
  for (int32_t p = 0; p < half; ++p)
    for (int32_t c = 0; c < n; ++c) {
      double sum = 0.0;
      for (int32_t j = 0; j < 6; ++j) sum += db3[j] * logImage[at((2 * p + 1 - j + n) % n, c)];
      columns[size_t(p) * n + c] = sum;
    }
  double largestDifference = 0.0;
  for (int32_t p = 0; p < half; ++p)
    for (int32_t q = 0; q < half; ++q) {
      double sum = 0.0;
      for (int32_t j = 0; j < 6; ++j) sum += db3[j] * columns[size_t(p) * n + (2 * q + 1 - j + n) % n];
      band[size_t(p) * half + q] = sum;
      largestDifference =
          std::max(largestDifference, std::abs(sum - double(Engine().Coefficients()[at(p, q)])));
    }
  EXPECT_LT(largestDifference, 1e-5) << "coarsest band differs from db3";

  auto mean = [&](int32_t r, int32_t c, bool down) {
    const int32_t k = down ? r : c, reach = std::min({1, k, half - 1 - k});
    double sum = 0.0;
    for (int32_t i = k - reach; i <= k + reach; ++i)
      sum += down ? band[size_t(i) * half + c] : band[size_t(r) * half + i];
    return sum / (2 * reach + 1);
  };
  std::vector<double> correction(band.size());
  for (int32_t r = 0; r < half; ++r)
    for (int32_t c = 0; c < half; ++c)
      correction[size_t(r) * half + c] = (centre - (mean(r, c, false) + mean(r, c, true))) * gain;

  size_t differing = 0;
  int32_t largestStep = 0;
  for (int32_t r = 0; r < n; ++r) {
    const int32_t r0 = r / 2, r1 = std::min(r0 + (r % 2), half - 1);
    for (int32_t c = 0; c < n; ++c) {
      const int32_t c0 = c / 2, c1 = std::min(c0 + (c % 2), half - 1);
      const double v = (correction[size_t(r0) * half + c0] + correction[size_t(r0) * half + c1] +
                        correction[size_t(r1) * half + c0] + correction[size_t(r1) * half + c1]) /
                       4.0;
      const uint16_t expected =
          ClampToPixel(std::exp(v + logImage[at(r, c)] + 0.04 * strength) - 1.0);
      const int32_t step = std::abs(int32_t(result.destination[at(r, c)]) - int32_t(expected));
      largestStep = std::max(largestStep, step);
      differing += step != 0;
    }
  }
  EXPECT_LE(largestStep, 1) << "enhanced image differs from the double-precision one";
  EXPECT_LT(differing, kImagePixels / 100) << "more than rounding apart";
}

// Through the export: parameters that make the run return early change nothing
// and still count as done.
class EnhancementExport : public tavrix_test::DetectorTest {};

TEST_F(EnhancementExport, EarlyReturnsLeaveBothImagesUntouchedAndReportDone) {
  struct Case {
    int32_t levels, strength, radius, decay;
  };
  const Case cases[] = {{5, 0, 3, 10},  {0, 10, 3, 10}, {5, 10, 0, 10}, {5, 10, 4, 10},
                        {5, 10, -1, 10}, {5, 10, 3, 0},  {5, 10, 3, 31}, {5, 10, 3, -5}};
  Image source(kImagePixels), destination(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i) {
    source[i] = uint16_t(i % 16384);
    destination[i] = uint16_t(i % 977);
  }
  const Image sourceBefore = source, destinationBefore = destination;
  for (const Case& c : cases) {
    EXPECT_EQ(Enhancement(source.data(), destination.data(), c.levels, c.strength, c.radius,
                          c.decay),
              1);
    EXPECT_TRUE(source == sourceBefore) << c.levels << " " << c.strength << " " << c.radius
                                        << " " << c.decay;
    EXPECT_TRUE(destination == destinationBefore);
  }
}

}  // namespace
}  // namespace tavrix
