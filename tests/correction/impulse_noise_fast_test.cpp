// The fast impulse filter against the plain one, bit for bit, on every vector
// path the processor has: images where the in-place raster order matters,
// values at the band's edges, saturating sums, and widths that leave partial
// vectors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "correction/impulse_noise.h"
#include "platform/dimensions.h"
#include "support/correction_images.h"
#include "support/vector_paths.h"

namespace tavrix {
namespace {

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

TEST(FilterImpulseNoiseFast, MatchesPlainOnRandomImagesOfFullAndFourteenBitRange) {
  ExpectFastMatchesPlain(tavrix_test::RandomImage(300, 200, 1), "random 16-bit");
  ExpectFastMatchesPlain(tavrix_test::RandomImage(300, 200, 2, 16383), "random 14-bit");
  ExpectFastMatchesPlain(tavrix_test::RandomImage(257, 100, 3, 3), "random 0..3");
}

TEST(FilterImpulseNoiseFast, MatchesPlainOnUniformAndCheckerboardImages) {
  for (uint16_t value : {0, 1, 12, 16383, 65535})
    ExpectFastMatchesPlain(TestImage(200, 40, value), "uniform " + std::to_string(value));
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 0, 65535), "checkerboard 0/65535");
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 65535, 0), "checkerboard 65535/0");
  ExpectFastMatchesPlain(tavrix_test::Checkerboard(200, 40, 1000, 1001), "checkerboard 1000/1001");
}

TEST(FilterImpulseNoiseFast, MatchesPlainForEveryOffsetAroundTheBandEdges) {
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

TEST(FilterImpulseNoiseFast, MatchesPlainWhereReplacementsChangeLaterWindows) {
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

TEST(FilterImpulseNoiseFast, MatchesPlainOnNarrowAndOddWidths) {
  // Widths below one vector take the exact test everywhere; others end in a
  // partial vector or a short run.
  for (int32_t width : {9, 13, 20, 37, 40, 41, 521, 527, 551, 1031}) {
    ExpectFastMatchesPlain(FieldWithOutliers(width, 30, 4000, 50, width, uint32_t(width)),
                           "width " + std::to_string(width));
  }
}

TEST(FilterImpulseNoiseFast, MatchesPlainOnFullSizeSimulatedExposure) {
  TestImage image = tavrix_test::SimulatedExposure(kImageWidth, kImageHeight, 7);
  std::mt19937 random(8);
  for (int32_t i = 0; i < 3000; ++i)
    image(int32_t(random() % kImageHeight), int32_t(random() % kImageWidth)) = uint16_t(random() % 2 ? 16000 : 0);
  ExpectFastMatchesPlain(image, "simulated exposure");
}

}  // namespace
}  // namespace tavrix
