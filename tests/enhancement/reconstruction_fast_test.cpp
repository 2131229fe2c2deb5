#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "enhancement/display_window.h"
#include "enhancement/reconstruction.h"
#include "platform/dimensions.h"
#include "support/edge_case_images.h"
#include "support/vector_paths.h"
// The lane exponential, compiled here for this file alone.
#define TAVRIX_TARGET lanes_under_test
#include "enhancement/lane_exponential.h"

namespace tavrix {
namespace {

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
TEST(ReconstructFast, MatchesPlainWherePixelsSitOnIntegerBoundaries) {
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
TEST(ReconstructFast, MatchesPlainOnRandomBandsOddBlocksAndNonFiniteValues) {
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
TEST(ReconstructFast, LaneExponentialStaysWithinItsStatedErrorBound) {
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
  // 1.5e-11 for the polynomial and the plain exp's own last-bit error.
  EXPECT_LT(worst, 1.5e-11 + 2.3e-16);
}

}  // namespace
}  // namespace tavrix
