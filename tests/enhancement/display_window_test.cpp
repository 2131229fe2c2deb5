#include "enhancement/display_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/dimensions.h"
#include "enhancement/log_map.h"

namespace tavrix {
namespace {

struct WindowRun {
  DisplayWindow window;
  std::vector<int32_t> histogram;
  std::vector<float> logImage;
};

WindowRun RunComputeWindow(const std::vector<uint16_t>& mapped) {
  std::vector<float> table(kLogMapTableSize);
  BuildLogImageTable(table.data());
  WindowRun run{{-1, -1}, std::vector<int32_t>(kHistogramBins, 77),
                std::vector<float>(mapped.size(), -1.0f)};
  run.window = ComputeWindow(mapped.data(), mapped.size(), run.histogram.data(),
                             run.logImage.data(), table.data());
  return run;
}

TEST(LogImageValue, TableHoldsLnOfValuePlusOneForEveryInput) {
  std::vector<float> table(kLogMapTableSize);
  BuildLogImageTable(table.data());
  for (uint32_t u = 0; u < kLogMapTableSize; ++u)
    ASSERT_EQ(table[u], LogImageValue(uint16_t(u))) << u;
  EXPECT_EQ(LogImageValue(16383), 9.70406055f);
  EXPECT_EQ(LogImageValue(0), 0.0f);
}

TEST(ComputeWindow, CountsValuesAboveRangeInLastBinAndFillsLogImage) {
  const std::vector<uint16_t> mapped = {LogMapValue(65535), 16383, 5, 5, 0};
  const WindowRun run = RunComputeWindow(mapped);
  EXPECT_EQ(run.histogram[kHistogramBins - 1], 2);
  EXPECT_EQ(run.histogram[5], 2);
  EXPECT_EQ(run.histogram[0], 1);
  int64_t total = 0;
  for (int32_t count : run.histogram) total += count;
  EXPECT_EQ(total, 5) << "stale counts survived";
  EXPECT_EQ(run.logImage[0], float(std::log(18724.0)));
  EXPECT_EQ(run.logImage[1], 9.70406055f);
  EXPECT_EQ(run.logImage[4], 0.0f);
}

TEST(ComputeWindow, UniformImageGivesEqualBoundsAndCentreOfTwiceTheValue) {
  for (uint16_t u : {uint16_t(1), uint16_t(1169), uint16_t(9000), uint16_t(16383)}) {
    const WindowRun run = RunComputeWindow(std::vector<uint16_t>(1000, u));
    EXPECT_EQ(run.window.low, u);
    EXPECT_EQ(run.window.high, u);
    EXPECT_FLOAT_EQ(ComputeGain(10, run.window).centre, float(std::log(2.0 * u))) << u;
  }
}

TEST(ComputeWindow, ReportsLowBoundOfZeroAsOneAndKeepsHighBoundZero) {
  const WindowRun run = RunComputeWindow(std::vector<uint16_t>(100, 0));
  EXPECT_EQ(run.window.low, 1);
  EXPECT_EQ(run.window.high, 0);
}

TEST(ComputeWindow, BoundsAreFirstBinsReachingThreeAndNinetySevenPercentOfFullImage) {
  // The thresholds are 283,115.52 and 9,154,068.48 pixels: one pixel short of
  // 283,116 at bin 2000 must push the low bound to the next occupied bin.
  const size_t total = kImagePixels;
  auto window = [&](size_t atLow, size_t atHigh) {
    std::vector<uint16_t> mapped(total, 8000);
    for (size_t i = 0; i < atLow; ++i) mapped[i] = 2000;
    for (size_t i = 0; i < total - atHigh; ++i) mapped[total - 1 - i] = 15000;
    return RunComputeWindow(mapped).window;
  };
  // atHigh pixels up to and including bin 8000.
  DisplayWindow reached = window(283116, 9154069);
  EXPECT_EQ(reached.low, 2000);
  EXPECT_EQ(reached.high, 8000);
  DisplayWindow shortOfBoth = window(283115, 9154068);
  EXPECT_EQ(shortOfBoth.low, 8000);
  EXPECT_EQ(shortOfBoth.high, 15000);
}

TEST(ComputeGain, ScalesStrengthBySinglePrecisionFactor) {
  const DisplayWindow window{1000, 15000};
  EXPECT_EQ(ComputeGain(100, window).gain, 0.5f);
  EXPECT_EQ(ComputeGain(10, window).gain, 0.049999997f);
  EXPECT_EQ(ComputeGain(-100, window).gain, -0.5f);
  EXPECT_EQ(ComputeGain(0, window).gain, 0.0f);
  EXPECT_EQ(ComputeGain(10, window).centre, 9.6803436f);
}

}  // namespace
}  // namespace tavrix
