// Every step that has a fast path against its plain version, bit for bit,
// on every vector path the processor has: one table of cases, each a step and
// the inputs that stress it (edge-case images, random and non-finite values,
// widths that leave partial vectors, full-size exposures).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "correction/correct_image.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/impulse_noise.h"
#include "correction/line_defects.h"
#include "enhancement/decomposition.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/reconstruction.h"
#include "enhancement/smoothing.h"
#include "platform/dimensions.h"
#include "support/correction_images.h"
#include "support/edge_case_images.h"
#include "support/enhancement_engine_probe.h"
#include "support/synthetic_radiograph.h"
#include "support/vector_paths.h"
// The lane exponential, compiled here for this file alone.
#define TAVRIX_TARGET lanes_under_test
#include "enhancement/lane_exponential.h"

namespace tavrix {
namespace {

// ---- impulse_noise ----
// The fast impulse filter against the plain one, bit for bit, on every vector
// path the processor has: images where the in-place raster order matters,
// values at the band's edges, saturating sums, and widths that leave partial
// vectors.
namespace impulse_noise {

using tavrix_test::TestImage;

// Fast and plain on copies of `image`; reports the first differing pixel.
void ExpectFastMatchesPlain(const TestImage& image, const std::string& what) {
  TestImage expected = image;
  FilterImpulseNoisePlain(expected.data(), image.width(), image.height());
  tavrix_test::ForEachInstructionSet([&](InstructionSet) {
    SCOPED_TRACE(what);
    TestImage actual = image;
    FilterImpulseNoise(actual.data(), image.width(), image.height());
    for (int32_t r = 0; r < image.height(); ++r)
      for (int32_t c = 0; c < image.width(); ++c)
        ASSERT_EQ(actual(r, c), expected(r, c)) << "at " << r << ", " << c << " (was " << image(r, c) << ")";
  });
}

// A noisy field with `count` outliers at random places.
TestImage FieldWithOutliers(int32_t width, int32_t height, uint16_t level, int32_t noise, int32_t count,
                            uint32_t seed) {
  TestImage image(width, height);
  std::mt19937 random(seed);
  for (uint16_t& p : image.pixels()) p = uint16_t(level + int32_t(random() % uint32_t(2 * noise + 1)) - noise);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t r = int32_t(random() % uint32_t(height)), c = int32_t(random() % uint32_t(width));
    image(r, c) = random() % 2 ? uint16_t(random() % 65536) : uint16_t(level + 300 + random() % 3000);
  }
  return image;
}

void FilterImpulseNoiseFast_MatchesPlainOnRandomImagesOfFullAndFourteenBitRange() {
  ExpectFastMatchesPlain(tavrix_test::RandomImage(300, 200, 1), "random 16-bit");
  ExpectFastMatchesPlain(tavrix_test::RandomImage(300, 200, 2, 16383), "random 14-bit");
  ExpectFastMatchesPlain(tavrix_test::RandomImage(257, 100, 3, 3), "random 0..3");
}

void FilterImpulseNoiseFast_MatchesPlainOnUniformAndCheckerboardImages() {
  for (uint16_t value : {0, 1, 12, 16383, 65535})
    ExpectFastMatchesPlain(TestImage(200, 40, value), "uniform " + std::to_string(value));
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 0, 65535), "checkerboard 0/65535");
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 65535, 0), "checkerboard 65535/0");
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 1000, 1001), "checkerboard 1000/1001");
}

void FilterImpulseNoiseFast_MatchesPlainForEveryOffsetAroundTheBandEdges() {
  // A field of v with a pixel at v + d and a second one at v + e: the window
  // sums take every residue modulo 25 and the pixel lies just inside or just
  // outside its band, with the mean on either side of a whole number. The
  // second pixel sits in the pixel's own row, in a row next to it, or in the
  // window's top or bottom row, so the band's width comes from the rows a
  // first look at the window skips as well as from those it reads.
  struct Offset {
    int32_t rows, columns;
  };
  for (Offset second : {Offset{0, 2}, Offset{1, 1}, Offset{2, 0}, Offset{-2, -1}}) {
    for (uint16_t level : {1, 12, 1000, 16383, 65490}) {
      TestImage image(620, 330, level);
      int32_t spot = 0;
      for (int32_t d = -40; d <= 40; ++d)
        for (int32_t e = -30; e <= 30; ++e, ++spot) {
          const int32_t r = 8 + 6 * (spot / 100), c = 8 + 6 * (spot % 100);
          if (level + d < 0 || level + d > 65535 || level + e < 0 || level + e > 65535) continue;
          image(r, c) = uint16_t(level + d);
          image(r + second.rows, c + second.columns) = uint16_t(level + e);
        }
      ExpectFastMatchesPlain(image, "band edges around " + std::to_string(level) + ", second pixel at " +
                                        std::to_string(second.rows) + ", " + std::to_string(second.columns));
    }
  }
}

void FilterImpulseNoiseFast_MatchesPlainWhereReplacementsChangeLaterWindows() {
  // Isolated and paired outliers, outliers in adjacent rows and columns,
  // clusters and dense outliers: each replacement reshapes the windows of the
  // pixels after it in the same row and of the next two rows.
  TestImage sparse = FieldWithOutliers(400, 120, 1000, 30, 300, 4);
  ExpectFastMatchesPlain(sparse, "sparse outliers");
  ExpectFastMatchesPlain(FieldWithOutliers(400, 120, 1000, 30, 8000, 5), "dense outliers");
  ExpectFastMatchesPlain(FieldWithOutliers(400, 120, 15000, 2, 20000, 6), "very dense outliers");

  TestImage structured(300, 80, 1000);
  for (int32_t c = 8; c < 290; c += 9) {
    structured(10, c) = 2000;                      // isolated
    structured(20, c) = structured(20, c + 1) = 2000;  // pair in a row
    structured(30, c) = structured(31, c) = 0;     // pair in a column
    structured(40, c) = 2000;                      // the chain of the raster order:
    structured(42, c) = 800;                       // an outlier only once the one above is replaced
    for (int32_t r = 50; r < 53; ++r)
      for (int32_t k = 0; k < 3; ++k) structured(r, c + k) = uint16_t(3000 + 100 * k);  // cluster
    structured(60, c) = 1100, structured(60, c + 1) = 1100, structured(60, c + 2) = 1001;  // replaced in turn
  }
  for (int32_t c = 6; c < 294; ++c) structured(70, c) = c % 2 ? 5000 : 0;  // a whole row of outliers
  ExpectFastMatchesPlain(structured, "structured outliers");
}

void FilterImpulseNoiseFast_MatchesPlainOnNarrowAndOddWidths() {
  // Widths below one vector take the exact test everywhere; others end in a
  // partial vector or a short run.
  for (int32_t width : {9, 13, 20, 37, 40, 41, 521, 527, 551, 1031}) {
    ExpectFastMatchesPlain(FieldWithOutliers(width, 30, 4000, 50, width, uint32_t(width)),
                           "width " + std::to_string(width));
  }
}

void FilterImpulseNoiseFast_MatchesPlainOnFullSizeSimulatedExposure() {
  TestImage image = tavrix_test::SimulatedExposure(kImageWidth, kImageHeight, 7);
  std::mt19937 random(8);
  for (int32_t i = 0; i < 3000; ++i)
    image(int32_t(random() % kImageHeight), int32_t(random() % kImageWidth)) = uint16_t(random() % 2 ? 16000 : 0);
  ExpectFastMatchesPlain(image, "simulated exposure");
}

}  // namespace impulse_noise

// ---- map_steps ----
// The fast neighbour fill, gain correction and defective-pixel correction,
// and the whole fast pipeline, against their plain versions bit for bit, on
// every vector path the processor has.
namespace map_steps {

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

void MapStepsFast_FillAndDefectsMatchPlainOnEdgeCaseImagesAndDenseMaps() {
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

void MapStepsFast_GainMatchesPlainForEveryKindOfGainAndPixel() {
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

void MapStepsFast_GainMatchesPlainOnRealisticFullSizeFrame() {
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

void CorrectImageFast_MatchesPlainOnEdgeCaseImagesWithEveryLineFlagged() {
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

void CorrectImageFast_MatchesPlainOnSimulatedExposureWithRealisticMaps() {
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

}  // namespace map_steps

// ---- decomposition ----
namespace decomposition {

using tavrix_test::ForEachInstructionSet;
using tavrix_test::NamedImage;
using tavrix_test::EdgeCaseImages;
using tavrix_test::NextRandom;

using Plane = std::vector<float>;

const float kTaps[kTapCount] = {0.235233605f,    0.570558429f,   0.325182498f,
                                -0.0954672098f, -0.0604161024f, 0.0249087494f};

// The log image of a 16-bit image, as the run feeds the decomposition.
Plane LogPlane(const std::vector<uint16_t>& image) {
  Plane plane(image.size());
  for (size_t i = 0; i < image.size(); ++i) plane[i] = LogImageValue(image[i]);
  return plane;
}

// levels levels of the columns x rows block, the first from `input` into a
// separate plane, the later ones in place as the run does; returns the plane
// (sentinel wherever nothing was written).
Plane Decomposed(const Plane& input, int32_t columns, int32_t rows, int32_t stride,
                 int32_t levels, bool plain) {
  Plane out(input.size(), -777.0f);
  std::vector<float> lineBuffer(3072, 0.0f);
  const LineFilter filter{kTaps, kTapCount, 2, lineBuffer.data()};
  for (int32_t level = 0; level < levels; ++level) {
    const float* from = level == 0 ? input.data() : out.data();
    if (plain)
      DecomposeLevelPlain(columns, rows, filter, from, out.data(), stride);
    else
      DecomposeLevel(columns, rows, filter, from, out.data(), stride);
    columns /= 2;
    rows /= 2;
  }
  return out;
}

bool SameBits(const Plane& a, const Plane& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Blocks narrower than the stride, sides that leave remainders after every
// vector width and after the column blocks, and levels that reach lines too
// short for the fast filter.
void DecomposeLevelFast_MatchesPlainOnEdgeCaseImagesAtEveryLevelAndPath() {
  struct Shape {
    int32_t columns, rows, stride, levels;
  };
  for (const Shape s : {Shape{48, 40, 48, 4}, Shape{300, 104, 310, 3}, Shape{8, 8, 8, 1},
                        Shape{522, 12, 522, 2}}) {
    for (const NamedImage& image : EdgeCaseImages(s.stride, s.rows)) {
      const Plane input = LogPlane(image.second.pixels());
      const Plane plain = Decomposed(input, s.columns, s.rows, s.stride, s.levels, true);
      ForEachInstructionSet([&](InstructionSet) {
        ASSERT_TRUE(SameBits(Decomposed(input, s.columns, s.rows, s.stride, s.levels, false),
                             plain))
            << image.first << ", " << s.columns << " x " << s.rows;
      });
    }
  }
}

// Values far outside the log range: signs, tiny and huge magnitudes.
void DecomposeLevelFast_MatchesPlainOnArbitraryFloats() {
  constexpr int32_t kSide = 64;
  Plane input(kSide * kSide);
  uint32_t state = 99u;
  for (float& v : input) {
    const int32_t exponent = int32_t(NextRandom(state) % 60) - 30;
    v = std::ldexp(float(NextRandom(state)) / float(1u << 24) - 0.5f, exponent);
  }
  const Plane plain = Decomposed(input, kSide, kSide, kSide, 3, true);
  ForEachInstructionSet(
      [&](InstructionSet) { ASSERT_TRUE(SameBits(Decomposed(input, kSide, kSide, kSide, 3, false), plain)); });
}

void DecomposeLevelFast_MatchesPlainOnFullSizeRadiographThroughFiveLevels() {
  const Plane input = LogPlane(tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight));
  const Plane plain = Decomposed(input, kImageWidth, kImageHeight, kImageWidth, 5, true);
  ForEachInstructionSet([&](InstructionSet) {
    ASSERT_TRUE(SameBits(Decomposed(input, kImageWidth, kImageHeight, kImageWidth, 5, false),
                         plain));
  });
}

}  // namespace decomposition

// ---- enhance ----
namespace enhance {

using tavrix_test::ForEachInstructionSet;

using Image = std::vector<uint16_t>;

struct Parameters {
  int32_t levels, strength, radius, decay;
};

// Everything a run leaves behind: both images and a digest of every plane.
struct Outcome {
  Image source, destination;
  std::vector<uint64_t> planes;
  bool operator==(const Outcome& o) const {
    return source == o.source && destination == o.destination && planes == o.planes;
  }
};

// FNV-1a over 64-bit words (every plane is a whole number of them).
uint64_t Digest(const void* data, size_t bytes) {
  uint64_t h = 1469598103934665603ull;
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i + 8 <= bytes; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    h = (h ^ word) * 1099511628211ull;
  }
  return h;
}

// Fills every plane with a pattern that no run writes, as if some other use
// of the engine had left it there.
void SoilPlanes(EnhancementEngine& engine, unsigned char pattern) {
  const EnhancementEngineProbe probe(engine);
  const size_t floats = kImagePixels * sizeof(float);
  for (float* plane : {probe.Coefficients(), probe.WorkPlaneA(), probe.WorkPlaneB(), probe.LogImage()})
    std::memset(plane, pattern, floats);
  std::memset(probe.SmoothingCopy(), pattern, kImagePixels * sizeof(uint16_t));
  std::memset(probe.Histogram(), pattern, kHistogramBins * sizeof(int32_t));
  std::memset(probe.ValueCounts(), pattern, kValueCountElements * sizeof(int32_t));
}

Outcome RunEngine(EnhancementEngine& engine, const Image& picture, Parameters p, bool plain,
                  unsigned char soil = 0) {
  if (soil != 0) SoilPlanes(engine, soil);
  Outcome o{picture, Image(kImagePixels, 0x5A5A), {}};
  (engine.*(plain ? &EnhancementEngine::EnhancePlain : &EnhancementEngine::Enhance))(
      o.source.data(), o.destination.data(), p.levels, p.strength, p.radius, p.decay,
      kImageWidth, kImageHeight);
  const EnhancementEngineProbe probe(engine);
  const size_t floats = kImagePixels * sizeof(float);
  for (const float* plane :
       {probe.Coefficients(), probe.WorkPlaneA(), probe.WorkPlaneB(), probe.LogImage()})
    o.planes.push_back(Digest(plane, floats));
  o.planes.push_back(Digest(probe.SmoothingCopy(), kImagePixels * sizeof(uint16_t)));
  o.planes.push_back(Digest(probe.Histogram(), kHistogramBins * sizeof(int32_t)));
  return o;
}

void EnhanceFast_MatchesPlainRunOnRadiographAndCheckerboardOnEveryPath() {
  EnhancementEngine engine;
  ASSERT_TRUE(engine.IsComplete());
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  Image checker(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i)
    checker[i] = ((i / kImageWidth + i % kImageWidth) % 2) ? 65535 : 0;
  struct Case {
    const char* name;
    const Image* image;
    Parameters parameters;
  };
  for (const Case& c : {Case{"radiograph", &picture, {5, 10, 3, 10}},
                        Case{"radiograph", &picture, {3, -40, 1, 1}},
                        Case{"checkerboard", &checker, {5, 100, 3, 1}},
                        // Each number of levels leaves different blocks of the planes written.
                        Case{"radiograph", &picture, {1, 20, 2, 5}},
                        Case{"radiograph", &picture, {2, 10, 3, 10}},
                        Case{"radiograph", &picture, {4, 60, 3, 20}},
                        Case{"radiograph", &picture, {-1, 10, 3, 10}},
                        // Returns early after the clearing: nothing of the last run may stay.
                        Case{"radiograph", &picture, {5, 0, 3, 10}}}) {
    const Outcome plain = RunEngine(engine, *c.image, c.parameters, true, 0x3C);
    ForEachInstructionSet([&](InstructionSet) {
      if (c.parameters.strength == 0) RunEngine(engine, picture, {5, 10, 3, 10}, false);
      // Whatever the planes held before, the run leaves them as the plain run.
      ASSERT_TRUE(RunEngine(engine, *c.image, c.parameters, false, 0x7F) == plain)
          << c.name << ", levels " << c.parameters.levels << ", strength "
          << c.parameters.strength;
    });
  }
}

}  // namespace enhance

// ---- log_map_window ----
namespace log_map_window {

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
  std::vector<int32_t> valueCounts(kValueCountElements, 77);
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
void LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnEdgeCaseImages() {
  for (int32_t width : {1, 7, 37, 300}) {
    for (const NamedImage& image : EdgeCaseImages(width, 23)) {
      ASSERT_TRUE(MapAndCount(image.second.pixels(), true) == MapAndCount(image.second.pixels(), false))
          << image.first << ", width " << width;
    }
  }
}

void LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnFullSizeRadiograph() {
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  const Outcome steps = MapAndCount(picture, false);
  EXPECT_GT(steps.high, steps.low);
  EXPECT_TRUE(MapAndCount(picture, true) == steps);
}

// The image may be mapped in place, as a run with one buffer does.
void LogMapAndComputeWindow_MapsInPlaceAsIntoAnotherImage() {
  for (const NamedImage& image : EdgeCaseImages(64, 16)) {
    std::vector<uint16_t> logMapTable(kLogMapTableSize);
    BuildLogMapTable(logMapTable.data());
    std::vector<float> logImageTable(kLogMapTableSize);
    BuildLogImageTable(logImageTable.data());
    Image inPlace = image.second.pixels();
    std::vector<int32_t> histogram(kHistogramBins);
    std::vector<float> logImage(inPlace.size());
    std::vector<int32_t> valueCounts(kValueCountElements);
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

}  // namespace log_map_window

// ---- reconstruction ----
namespace reconstruction {

using tavrix_test::ForEachInstructionSet;
using tavrix_test::NextRandom;

using Plane = std::vector<float>;
using Image = std::vector<uint16_t>;

struct Result {
  Image image;
  Plane band, other;
};

// levels enlargements of the columns x rows band into a stride x stride image.
Result Reconstructed(const Plane& band, const Plane& logImage, int32_t stride, int32_t columns,
                     int32_t rows, int32_t levels, int32_t strength, bool plain) {
  Result r{Image(logImage.size(), 0x5A5A), band, Plane(band.size(), -777.0f)};
  const FinalOutput output{logImage.data(), r.image.data(), strength};
  if (plain)
    ReconstructPlain(r.band.data(), r.other.data(), output, stride, columns, rows, levels);
  else
    Reconstruct(r.band.data(), r.other.data(), output, stride, columns, rows, levels);
  return r;
}

void ExpectSame(const Result& fast, const Result& plain) {
  ASSERT_EQ(fast.image, plain.image);
  ASSERT_EQ(0, std::memcmp(fast.band.data(), plain.band.data(), fast.band.size() * 4));
  ASSERT_EQ(0, std::memcmp(fast.other.data(), plain.other.data(), fast.other.size() * 4));
}

// A zero correction with no offset turns each pixel into e^(ln(u + 1)) - 1,
// which lies within a few units of the last place of the integer u: every
// pixel is one where a slightly wrong exponential would truncate to u - 1.
void ReconstructFast_MatchesPlainWherePixelsSitOnIntegerBoundaries() {
  constexpr int32_t kSide = 256;  // 65536 pixels: every 16-bit log-mapped value once
  Plane logImage(kSide * kSide);
  for (size_t u = 0; u < logImage.size(); ++u) logImage[u] = LogImageValue(uint16_t(u));
  const Plane band(logImage.size(), 0.0f);
  for (int32_t strength : {0, 1, -1, 100}) {
    const Result plain = Reconstructed(band, logImage, kSide, 32, 32, 3, strength, true);
    ForEachInstructionSet([&](InstructionSet) {
      ExpectSame(Reconstructed(band, logImage, kSide, 32, 32, 3, strength, false), plain);
    });
  }
}

// Random bands and log images, odd block sizes that leave remainders after
// every vector width, corrections large enough to clamp at both ends, and
// values that are not numbers or infinite.
void ReconstructFast_MatchesPlainOnRandomBandsOddBlocksAndNonFiniteValues() {
  constexpr int32_t kStride = 200;
  uint32_t state = 3u;
  Plane logImage(kStride * kStride), band(kStride * kStride);
  for (float& v : logImage) v = LogImageValue(uint16_t(NextRandom(state)));
  for (float& v : band) v = float(int32_t(NextRandom(state) % 4001) - 2000) / 1000.0f;
  band[5] = NAN;
  band[kStride + 7] = INFINITY;
  band[2 * kStride + 1] = -INFINITY;
  logImage[kStride * 100 + 3] = NAN;
  struct Shape {
    int32_t columns, rows, levels;
  };
  for (const Shape s : {Shape{11, 9, 3}, Shape{25, 12, 3}, Shape{1, 1, 1}, Shape{3, 5, 5},
                        Shape{100, 100, 1}}) {
    for (int32_t strength : {10, -10, 200, -1000000}) {
      const Result plain =
          Reconstructed(band, logImage, kStride, s.columns, s.rows, s.levels, strength, true);
      ForEachInstructionSet([&](InstructionSet) {
        ExpectSame(
            Reconstructed(band, logImage, kStride, s.columns, s.rows, s.levels, strength, false),
            plain);
      });
    }
  }
}

// The error bound the fall-back margin relies on.
void ReconstructFast_LaneExponentialStaysWithinItsStatedErrorBound() {
  using lanes_under_test::ExpLanes;
  using lanes_under_test::Lanes;
  constexpr int kSteps = 400000;
  double worst = 0.0;
  for (int i = 0; i <= kSteps; ++i) {
    const double x = -20.0 + 40.0 * i / kSteps;
    const Lanes<2>::Double lanes = {x, std::nextafter(x, 0.0)};
    const Lanes<2>::Double y = ExpLanes<2>(lanes);
    for (int lane = 0; lane < 2; ++lane) {
      const double exact = std::exp(lanes[lane]);
      worst = std::max(worst, std::abs(y[lane] - exact) / exact);
    }
  }
  // 4e-11 for the polynomial and the plain exp's own last-bit error.
  EXPECT_LT(worst, 4e-11 + 2.3e-16);
}

// Which lanes take the plain exponential: each case is one a wrong condition
// would misjudge, since the lane exponential itself is too accurate to show it.
void ReconstructFast_LanesNearAnIntegerThatDecidesThePixelTakeThePlainExponential() {
  using lanes_under_test::Lanes;
  using lanes_under_test::UnsurePixelLanes;
  struct Case {
    double z;
    double pixel;
    bool unsure;
  };
  const Case cases[] = {
      {5.5, 5, false},          {5 + 1e-6, 5, true},          {5 - 1e-6, 4, true},
      {1 - 1e-6, 0, true},      {1e-6, 0, false},             {-0.5, 0, false},
      {16383 + 1e-6, 16383, true}, {16383 - 1e-6, 16382, true}, {16384 - 1e-6, 16383, false},
      {1e9, 16383, false},
  };
  for (const Case& c : cases) {
    const Lanes<2>::Double z = {c.z, c.z};
    Lanes<2>::Double pixel;
    const Lanes<2>::Long unsure = UnsurePixelLanes<2>(z, pixel);
    for (int lane = 0; lane < 2; ++lane) {
      EXPECT_EQ(c.pixel, pixel[lane]) << "z " << c.z;
      EXPECT_EQ(c.unsure, unsure[lane] != 0) << "z " << c.z;
    }
  }
}

}  // namespace reconstruction

// ---- smoothing ----
namespace smoothing {

using tavrix_test::ForEachInstructionSet;
using tavrix_test::NamedImage;
using tavrix_test::EdgeCaseImages;

using Image = std::vector<uint16_t>;

double Decay(int32_t tenths) { return double(tenths) * double(0.1f); }

Image Convolved(Image image, int32_t width, int32_t height, int32_t radius, int32_t decay,
                bool plain) {
  double kernel[49];
  BuildKernel(radius, Decay(decay), kernel);
  Image copy(image.size());
  if (plain)
    ConvolveImagePlain(image.data(), copy.data(), kernel, radius, width, height);
  else
    ConvolveImage(image.data(), copy.data(), kernel, radius, width, height);
  return image;
}

// Widths whose strips leave runs too short for whole transposes, runs of
// exactly one block, runs that end in an overlapping block (100, 600) and
// strips after a full one (300, 600).
void ConvolveImageFast_MatchesPlainOnEdgeCaseImagesForEveryRadiusAndPath() {
  for (int32_t width : {7, 37, 70, 100, 300, 600}) {
    const int32_t height = 23;
    for (const NamedImage& image : EdgeCaseImages(width, height)) {
      for (int32_t radius : {1, 2, 3}) {
        for (int32_t decay : {1, 10, 30}) {
          const Image plain = Convolved(image.second.pixels(), width, height, radius, decay, true);
          ForEachInstructionSet([&](InstructionSet) {
            ASSERT_EQ(Convolved(image.second.pixels(), width, height, radius, decay, false), plain)
                << image.first << ", width " << width << ", radius " << radius << ", decay "
                << decay;
          });
        }
      }
    }
  }
}

// Too few rows for any interior: nothing is written, and the row window the
// fast path fills must not reach past the copy (the sanitizer build sees it).
void ConvolveImageFast_ImageWithoutInteriorRowsReadsNothingPastItsCopy() {
  constexpr int32_t kWidth = 40;
  for (int32_t radius : {1, 2, 3}) {
    for (int32_t height = 1; height <= 2 * radius; ++height) {
      Image image(size_t(kWidth) * height);
      for (size_t i = 0; i < image.size(); ++i) image[i] = uint16_t(i * 977);
      ForEachInstructionSet([&](InstructionSet) {
        ASSERT_EQ(Convolved(image, kWidth, height, radius, 10, false), image)
            << "radius " << radius << ", height " << height;
      });
    }
  }
}

void ConvolveImageFast_MatchesPlainOnFullSizeRadiograph() {
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  const Image plain = Convolved(picture, kImageWidth, kImageHeight, 3, 10, true);
  ForEachInstructionSet([&](InstructionSet) {
    ASSERT_EQ(Convolved(picture, kImageWidth, kImageHeight, 3, 10, false), plain);
  });
}

// A flat region comes out as V or V - 1 depending on the last bit of the
// sum. Where a fused multiply-add would round that sum differently, the
// result must still be the one of separate products and sums.
void ConvolveImageFast_RoundsEveryProductAndSumSeparatelyAsWithoutContraction() {
  constexpr int32_t kRadius = 3, kSide = 2 * kRadius + 1, kWidth = 40, kHeight = 9;
  int found = 0;
  for (int32_t decay = 1; decay <= 30 && found < 4; ++decay) {
    double kernel[kSide * kSide];
    BuildKernel(kRadius, Decay(decay), kernel);
    const double inverse = InverseKernelNorm(kernel, kSide);
    for (uint32_t value = 1; value < 65536 && found < 4; value += 7) {
      volatile double separate = 0.0;  // volatile: each step rounded on its own
      double fused = 0.0;
      for (double weight : kernel) {
        volatile double product = double(value) * weight;
        separate = separate + product;
        fused = std::fma(double(value), weight, fused);
      }
      const uint16_t expected = TruncateToSample(separate * inverse);
      if (TruncateToSample(fused * inverse) == expected) continue;
      ++found;
      const Image flat(size_t(kWidth) * kHeight, uint16_t(value));
      ForEachInstructionSet([&](InstructionSet) {
        const Image out = Convolved(flat, kWidth, kHeight, kRadius, decay, false);
        for (int32_t x = kRadius; x < kWidth - kRadius; ++x)
          ASSERT_EQ(out[size_t(4) * kWidth + x], expected)
              << "value " << value << ", decay " << decay << ", column " << x;
      });
    }
  }
  EXPECT_EQ(found, 4) << "no flat value where contraction would change the result";
}

}  // namespace smoothing

struct FastPathCase {
  const char* name;
  void (*run)();
};

void PrintTo(const FastPathCase& c, std::ostream* out) { *out << c.name; }

const FastPathCase kCases[] = {
    {"FilterImpulseNoiseFast_MatchesPlainOnRandomImagesOfFullAndFourteenBitRange", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainOnRandomImagesOfFullAndFourteenBitRange},
    {"FilterImpulseNoiseFast_MatchesPlainOnUniformAndCheckerboardImages", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainOnUniformAndCheckerboardImages},
    {"FilterImpulseNoiseFast_MatchesPlainForEveryOffsetAroundTheBandEdges", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainForEveryOffsetAroundTheBandEdges},
    {"FilterImpulseNoiseFast_MatchesPlainWhereReplacementsChangeLaterWindows", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainWhereReplacementsChangeLaterWindows},
    {"FilterImpulseNoiseFast_MatchesPlainOnNarrowAndOddWidths", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainOnNarrowAndOddWidths},
    {"FilterImpulseNoiseFast_MatchesPlainOnFullSizeSimulatedExposure", &impulse_noise::FilterImpulseNoiseFast_MatchesPlainOnFullSizeSimulatedExposure},
    {"MapStepsFast_FillAndDefectsMatchPlainOnEdgeCaseImagesAndDenseMaps", &map_steps::MapStepsFast_FillAndDefectsMatchPlainOnEdgeCaseImagesAndDenseMaps},
    {"MapStepsFast_GainMatchesPlainForEveryKindOfGainAndPixel", &map_steps::MapStepsFast_GainMatchesPlainForEveryKindOfGainAndPixel},
    {"MapStepsFast_GainMatchesPlainOnRealisticFullSizeFrame", &map_steps::MapStepsFast_GainMatchesPlainOnRealisticFullSizeFrame},
    {"CorrectImageFast_MatchesPlainOnEdgeCaseImagesWithEveryLineFlagged", &map_steps::CorrectImageFast_MatchesPlainOnEdgeCaseImagesWithEveryLineFlagged},
    {"CorrectImageFast_MatchesPlainOnSimulatedExposureWithRealisticMaps", &map_steps::CorrectImageFast_MatchesPlainOnSimulatedExposureWithRealisticMaps},
    {"DecomposeLevelFast_MatchesPlainOnEdgeCaseImagesAtEveryLevelAndPath", &decomposition::DecomposeLevelFast_MatchesPlainOnEdgeCaseImagesAtEveryLevelAndPath},
    {"DecomposeLevelFast_MatchesPlainOnArbitraryFloats", &decomposition::DecomposeLevelFast_MatchesPlainOnArbitraryFloats},
    {"DecomposeLevelFast_MatchesPlainOnFullSizeRadiographThroughFiveLevels", &decomposition::DecomposeLevelFast_MatchesPlainOnFullSizeRadiographThroughFiveLevels},
    {"EnhanceFast_MatchesPlainRunOnRadiographAndCheckerboardOnEveryPath", &enhance::EnhanceFast_MatchesPlainRunOnRadiographAndCheckerboardOnEveryPath},
    {"LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnEdgeCaseImages", &log_map_window::LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnEdgeCaseImages},
    {"LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnFullSizeRadiograph", &log_map_window::LogMapAndComputeWindow_MatchesLogMapThenComputeWindowOnFullSizeRadiograph},
    {"LogMapAndComputeWindow_MapsInPlaceAsIntoAnotherImage", &log_map_window::LogMapAndComputeWindow_MapsInPlaceAsIntoAnotherImage},
    {"ReconstructFast_MatchesPlainWherePixelsSitOnIntegerBoundaries", &reconstruction::ReconstructFast_MatchesPlainWherePixelsSitOnIntegerBoundaries},
    {"ReconstructFast_MatchesPlainOnRandomBandsOddBlocksAndNonFiniteValues", &reconstruction::ReconstructFast_MatchesPlainOnRandomBandsOddBlocksAndNonFiniteValues},
    {"ReconstructFast_LaneExponentialStaysWithinItsStatedErrorBound", &reconstruction::ReconstructFast_LaneExponentialStaysWithinItsStatedErrorBound},
    {"ReconstructFast_LanesNearAnIntegerThatDecidesThePixelTakeThePlainExponential", &reconstruction::ReconstructFast_LanesNearAnIntegerThatDecidesThePixelTakeThePlainExponential},
    {"ConvolveImageFast_MatchesPlainOnEdgeCaseImagesForEveryRadiusAndPath", &smoothing::ConvolveImageFast_MatchesPlainOnEdgeCaseImagesForEveryRadiusAndPath},
    {"ConvolveImageFast_ImageWithoutInteriorRowsReadsNothingPastItsCopy", &smoothing::ConvolveImageFast_ImageWithoutInteriorRowsReadsNothingPastItsCopy},
    {"ConvolveImageFast_MatchesPlainOnFullSizeRadiograph", &smoothing::ConvolveImageFast_MatchesPlainOnFullSizeRadiograph},
    {"ConvolveImageFast_RoundsEveryProductAndSumSeparatelyAsWithoutContraction", &smoothing::ConvolveImageFast_RoundsEveryProductAndSumSeparatelyAsWithoutContraction},
};

class FastPathMatchesPlain : public ::testing::TestWithParam<FastPathCase> {};

TEST_P(FastPathMatchesPlain, BitForBit) { GetParam().run(); }

INSTANTIATE_TEST_SUITE_P(Steps, FastPathMatchesPlain, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FastPathCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrix
