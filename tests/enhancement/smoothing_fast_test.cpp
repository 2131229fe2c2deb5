#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "enhancement/smoothing.h"
#include "platform/dimensions.h"
#include "support/edge_case_images.h"
#include "support/synthetic_radiograph.h"
#include "support/vector_paths.h"

namespace tavrix {
namespace {

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
TEST(ConvolveImageFast, MatchesPlainOnEdgeCaseImagesForEveryRadiusAndPath) {
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
TEST(ConvolveImageFast, ImageWithoutInteriorRowsReadsNothingPastItsCopy) {
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

TEST(ConvolveImageFast, MatchesPlainOnFullSizeRadiograph) {
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  const Image plain = Convolved(picture, kImageWidth, kImageHeight, 3, 10, true);
  ForEachInstructionSet([&](InstructionSet) {
    ASSERT_EQ(Convolved(picture, kImageWidth, kImageHeight, 3, 10, false), plain);
  });
}

// A flat region comes out as V or V - 1 depending on the last bit of the
// sum. Where a fused multiply-add would round that sum differently, the
// result must still be the one of separate products and sums.
TEST(ConvolveImageFast, RoundsEveryProductAndSumSeparatelyAsWithoutContraction) {
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

}  // namespace
}  // namespace tavrix
