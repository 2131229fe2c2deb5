#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "enhancement/display_window.h"
#include "enhancement/log_map.h"
#include "platform/dimensions.h"
#include "support/edge_case_images.h"
#include "support/synthetic_radiograph.h"

namespace tavrix {
namespace {

using tavrix_test::NamedImage;
using tavrix_test::EdgeCaseImages;

using Image = std::vector<uint16_t>;

// Everything the log map and the window leave: the mapped image, the
// histogram, the log image and the bounds.
struct Outcome {
  Image mapped;
  std::vector<int32_t> histogram;
  std::vector<float> logImage;
  int32_t low, high;
  bool operator==(const Outcome& o) const {
    return mapped == o.mapped && histogram == o.histogram && logImage == o.logImage &&
           low == o.low && high == o.high;
  }
};

Outcome MapAndCount(const Image& source, bool inOnePass) {
  static const std::vector<uint16_t> logMapTable = [] {
    std::vector<uint16_t> t(kLogMapTableSize);
    BuildLogMapTable(t.data());
    return t;
  }();
  static const std::vector<float> logImageTable = [] {
    std::vector<float> t(kLogMapTableSize);
    BuildLogImageTable(t.data());
    return t;
  }();
  // Stale contents, as an earlier run leaves them.
  Outcome o{Image(source.size(), 0x5A5A), std::vector<int32_t>(kHistogramBins, 77),
            std::vector<float>(source.size(), -1.0f), -1, -1};
  std::vector<int32_t> valueCounts(kLogMapValueCount, 77);
  DisplayWindow window;
  if (inOnePass) {
    window = LogMapAndComputeWindow(source.data(), o.mapped.data(), source.size(),
                                    logMapTable.data(), o.histogram.data(), o.logImage.data(),
                                    logImageTable.data(), valueCounts.data());
  } else {
    LogMapImage(source.data(), o.mapped.data(), source.size(), logMapTable.data());
    window = ComputeWindow(o.mapped.data(), source.size(), o.histogram.data(), o.logImage.data(),
                           logImageTable.data());
  }
  o.low = window.low;
  o.high = window.high;
  return o;
}

// Values above 14 bits map past the last bin; flat images put every count in
// one bin; odd sizes leave every remainder of an unrolled loop.
TEST(LogMapAndComputeWindow, MatchesLogMapThenComputeWindowOnEdgeCaseImages) {
  for (int32_t width : {1, 7, 37, 300}) {
    for (const NamedImage& image : EdgeCaseImages(width, 23)) {
      ASSERT_TRUE(MapAndCount(image.second.pixels(), true) == MapAndCount(image.second.pixels(), false))
          << image.first << ", width " << width;
    }
  }
}

TEST(LogMapAndComputeWindow, MatchesLogMapThenComputeWindowOnFullSizeRadiograph) {
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  const Outcome steps = MapAndCount(picture, false);
  EXPECT_GT(steps.high, steps.low);
  EXPECT_TRUE(MapAndCount(picture, true) == steps);
}

// The image may be mapped in place, as a run with one buffer does.
TEST(LogMapAndComputeWindow, MapsInPlaceAsIntoAnotherImage) {
  for (const NamedImage& image : EdgeCaseImages(64, 16)) {
    std::vector<uint16_t> logMapTable(kLogMapTableSize);
    BuildLogMapTable(logMapTable.data());
    std::vector<float> logImageTable(kLogMapTableSize);
    BuildLogImageTable(logImageTable.data());
    Image inPlace = image.second.pixels();
    std::vector<int32_t> histogram(kHistogramBins);
    std::vector<float> logImage(inPlace.size());
    std::vector<int32_t> valueCounts(kLogMapValueCount);
    const DisplayWindow window =
        LogMapAndComputeWindow(inPlace.data(), inPlace.data(), inPlace.size(), logMapTable.data(),
                               histogram.data(), logImage.data(), logImageTable.data(),
                               valueCounts.data());
    const Outcome separate = MapAndCount(image.second.pixels(), false);
    EXPECT_EQ(inPlace, separate.mapped) << image.first;
    EXPECT_EQ(histogram, separate.histogram) << image.first;
    EXPECT_EQ(logImage, separate.logImage) << image.first;
    EXPECT_EQ(window.low, separate.low) << image.first;
    EXPECT_EQ(window.high, separate.high) << image.first;
  }
}

}  // namespace
}  // namespace tavrix
