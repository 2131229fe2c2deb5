#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "detector/dimensions.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/smoothing.h"
#include "support/detector_fixture.h"
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

  static EnhancementEngine* engine_;
  static Image* picture_;
};

EnhancementEngine* EnhanceTest::engine_ = nullptr;
Image* EnhanceTest::picture_ = nullptr;

TEST_F(EnhanceTest, EngineIsCompleteWithExactTapsAndTablesFromPlainExpressions) {
  ASSERT_TRUE(engine_->IsComplete());
  const float taps[kTapCount] = {0.235233605f,    0.570558429f,   0.325182498f,
                                 -0.0954672098f, -0.0604161024f, 0.0249087494f};
  for (int32_t t = 0; t < kTapCount; ++t) EXPECT_EQ(engine_->lowPass[t], taps[t]) << t;
  for (uint32_t v = 0; v < kLogMapTableSize; ++v) {
    ASSERT_EQ(engine_->logMapTable[v], LogMapValue(uint16_t(v))) << v;
    ASSERT_EQ(engine_->logImageTable[v], LogImageValue(uint16_t(v))) << v;
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
    EXPECT_EQ(engine_->levels, c.levels) << c.requested;
    EXPECT_EQ(engine_->windowSize, c.window) << c.requested;
  }
}

TEST_F(EnhanceTest, StoresDecayAsFloatTenthWidenedAndZeroWhenOutOfRange) {
  Image source(kImagePixels, 100), destination(kImagePixels, 0);
  engine_->Enhance(source.data(), destination.data(), 5, 0, 2, 10, kImageWidth, kImageHeight);
  EXPECT_EQ(engine_->smoothingDecay, 1.0000000149011612);
  EXPECT_EQ(engine_->smoothingRadius, 2);
  engine_->Enhance(source.data(), destination.data(), 5, 0, 7, 31, kImageWidth, kImageHeight);
  EXPECT_EQ(engine_->smoothingDecay, 0.0);
  EXPECT_EQ(engine_->smoothingRadius, 0);
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
  EXPECT_GT(engine_->windowLow, 1169);
  EXPECT_LT(engine_->windowLow, engine_->windowHigh);
  EXPECT_EQ(engine_->windowHigh, 16383) << "more than 3 % of the picture is border mask";
  EXPECT_EQ(engine_->gain, 0.049999997f);
  EXPECT_EQ(engine_->logImage[12345], LogImageValue(result.destination[12345]));
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
