#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "enhancement/decomposition.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "platform/dimensions.h"
#include "support/edge_case_images.h"
#include "support/synthetic_radiograph.h"
#include "support/vector_paths.h"

namespace tavrix {
namespace {

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
TEST(DecomposeLevelFast, MatchesPlainOnEdgeCaseImagesAtEveryLevelAndPath) {
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
TEST(DecomposeLevelFast, MatchesPlainOnArbitraryFloats) {
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

TEST(DecomposeLevelFast, MatchesPlainOnFullSizeRadiographThroughFiveLevels) {
  const Plane input = LogPlane(tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight));
  const Plane plain = Decomposed(input, kImageWidth, kImageHeight, kImageWidth, 5, true);
  ForEachInstructionSet([&](InstructionSet) {
    ASSERT_TRUE(SameBits(Decomposed(input, kImageWidth, kImageHeight, kImageWidth, 5, false),
                         plain));
  });
}

}  // namespace
}  // namespace tavrix
