// The fast neighbour fill, gain correction and defective-pixel correction,
// and the whole fast pipeline, against their plain versions bit for bit, on
// every vector path the processor has.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "correction/correct_image.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/line_defects.h"
#include "platform/dimensions.h"
#include "support/correction_images.h"
#include "support/edge_case_images.h"
#include "support/vector_paths.h"

namespace tavrix {
namespace {

using tavrix_test::TestGainMap;
using tavrix_test::TestImage;
using tavrix_test::TestPixelMap;

using Step = std::function<void(uint16_t*, int32_t, int32_t)>;

void ExpectSameImage(const TestImage& actual, const TestImage& expected, const TestImage& input) {
  for (int32_t r = 0; r < input.height(); ++r)
    for (int32_t c = 0; c < input.width(); ++c)
      ASSERT_EQ(actual(r, c), expected(r, c)) << "at " << r << ", " << c << " (was " << input(r, c) << ")";
}

void ExpectFastMatchesPlain(const TestImage& image, const Step& fast, const Step& plain, const std::string& what) {
  TestImage expected = image;
  plain(expected.data(), image.width(), image.height());
  tavrix_test::ForEachInstructionSet([&](InstructionSet) {
    SCOPED_TRACE(what);
    TestImage actual = image;
    fast(actual.data(), image.width(), image.height());
    ExpectSameImage(actual, expected, image);
  });
}

// Pixel maps from sparse to every byte set, fill codes among them.
std::vector<std::pair<std::string, std::vector<uint8_t>>> EdgeMapBytes(int32_t width, int32_t height) {
  const size_t size = size_t(width + 1) * (height + 1);
  std::mt19937 random(13);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> maps;
  for (uint32_t oneIn : {200u, 7u, 2u}) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = random() % oneIn == 0 ? uint8_t(random() % 3 == 0 ? 2 : 1 + random() % 255) : 0;
    maps.emplace_back("one defect in " + std::to_string(oneIn), bytes);
  }
  maps.emplace_back("every pixel fill-coded", std::vector<uint8_t>(size, 2));
  maps.emplace_back("every byte 255", std::vector<uint8_t>(size, 255));
  return maps;
}

TEST(MapStepsFast, FillAndDefectsMatchPlainOnEdgeCaseImagesAndDenseMaps) {
  // Odd widths leave partial blocks of map bytes at the ends of the rows.
  for (int32_t width : {3, 37, 200}) {
    for (auto& [mapName, bytes] : EdgeMapBytes(width, 40)) {
      TestPixelMap map(width, 40);
      map.values() = bytes;
      for (const auto& [imageName, image] : tavrix_test::EdgeCaseImages(width, 40)) {
        const std::string what = imageName + ", " + mapName + ", width " + std::to_string(width);
        ExpectFastMatchesPlain(
            image, [&](uint16_t* p, int32_t w, int32_t h) { FillFlaggedPixels(p, w, h, map.rows()); },
            [&](uint16_t* p, int32_t w, int32_t h) { FillFlaggedPixelsPlain(p, w, h, map.rows()); }, "fill, " + what);
        ExpectFastMatchesPlain(
            image, [&](uint16_t* p, int32_t w, int32_t h) { CorrectDefectivePixels(p, w, h, map.rows()); },
            [&](uint16_t* p, int32_t w, int32_t h) { CorrectDefectivePixelsPlain(p, w, h, map.rows()); },
            "defects, " + what);
      }
    }
  }
}

TEST(MapStepsFast, GainMatchesPlainForEveryKindOfGainAndPixel) {
  // Gains that stress the clamp and the truncation: products just below and
  // at whole numbers and at 16383, NaN, infinities, negatives, denormals.
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float special[] = {1.0f, 0.5f, 1.5f, 0.0f, -0.0f, -1.0f, kInf, -kInf, std::numeric_limits<float>::quiet_NaN(),
                           1e30f, 1e-40f, std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 2.0f), 16383.0f / 16384.0f,
                           0.25f + 1e-7f, 3.0f};
  for (int32_t width : {20, 41, 57, 300}) {
    const int32_t height = 50;
    TestGainMap gains(width, height);
    std::mt19937 random{uint32_t(width)};
    for (float& g : gains.values())
      g = random() % 3 ? special[random() % (sizeof special / sizeof special[0])] : float(random() % 40000) / 10000.0f;
    for (const auto& [imageName, image] : tavrix_test::EdgeCaseImages(width, height)) {
      ExpectFastMatchesPlain(
          image, [&](uint16_t* p, int32_t w, int32_t h) { ApplyGainMap(p, w, h, gains.rows()); },
          [&](uint16_t* p, int32_t w, int32_t h) { ApplyGainMapPlain(p, w, h, gains.rows()); },
          "gain, " + imageName + ", width " + std::to_string(width));
    }
  }
}

TEST(MapStepsFast, GainMatchesPlainOnRealisticFullSizeFrame) {
  const TestImage image = tavrix_test::SimulatedExposure(kImageWidth, kImageHeight, 14);
  TestGainMap gains(kImageWidth, kImageHeight);
  tavrix_test::FillRealisticGains(gains, kImageWidth, kImageHeight);
  ExpectFastMatchesPlain(
      image, [&](uint16_t* p, int32_t w, int32_t h) { ApplyGainMap(p, w, h, gains.rows()); },
      [&](uint16_t* p, int32_t w, int32_t h) { ApplyGainMapPlain(p, w, h, gains.rows()); }, "gain, exposure");
}

// The whole pipeline, fast against plain.
void ExpectPipelineMatchesPlain(const TestImage& image, const TestPixelMap& map, const TestGainMap& gains,
                                const std::string& what) {
  ExpectFastMatchesPlain(
      image, [&](uint16_t* p, int32_t w, int32_t h) { CorrectImage(p, w, h, map.rows(), gains.rows()); },
      [&](uint16_t* p, int32_t w, int32_t h) { CorrectImagePlain(p, w, h, map.rows(), gains.rows()); }, what);
}

TEST(CorrectImageFast, MatchesPlainOnEdgeCaseImagesWithEveryLineFlagged) {
  constexpr int32_t kSize = 160;
  for (auto& [mapName, bytes] : EdgeMapBytes(kSize, kSize)) {
    TestPixelMap map(kSize, kSize);
    map.values() = bytes;
    for (int32_t i = 0; i < kSize; ++i) {
      map.SetRowFlag(i, uint8_t(1 + i % 3));
      map.SetColumnFlag(i, 1);
    }
    TestGainMap gains(kSize, kSize);
    tavrix_test::FillRealisticGains(gains, kSize, kSize);
    for (const auto& [imageName, image] : tavrix_test::EdgeCaseImages(kSize, kSize))
      ExpectPipelineMatchesPlain(image, map, gains, "pipeline, " + imageName + ", " + mapName);
  }
}

TEST(CorrectImageFast, MatchesPlainOnSimulatedExposureWithRealisticMaps) {
  TestImage image = tavrix_test::SimulatedExposure(kImageWidth, kImageHeight, 15);
  std::mt19937 random(16);
  for (int32_t i = 0; i < 2000; ++i)
    image(int32_t(random() % kImageHeight), int32_t(random() % kImageWidth)) = uint16_t(random() % 2 ? 16000 : 0);
  TestPixelMap map(kImageWidth, kImageHeight);
  tavrix_test::AddRandomDefects(map, kImageWidth, kImageHeight, 5000, 17);
  for (int32_t r : {300, 1536, 2900}) map.SetRowFlag(r, kRowFlagBothHalves);
  for (int32_t c : {0, 2, 700, 3071}) map.SetColumnFlag(c, 1);
  TestGainMap gains(kImageWidth, kImageHeight);
  tavrix_test::FillRealisticGains(gains, kImageWidth, kImageHeight);
  ExpectPipelineMatchesPlain(image, map, gains, "pipeline, exposure");
}

}  // namespace
}  // namespace tavrix
