#include "exposure_index.h"

#include <gtest/gtest.h>

#include <cmath>

#include "imaging_physics.h"
#include "expect_failure.h"
#include "qa_error.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;

}  // namespace

TEST(ExposureIndex, IsOneHundredTimesTheKermaOfTheMedianInsideTheCollimation) {
  const ResponseConversion response{100.0, 1000.0};
  // Outside the collimation the field is far brighter: it must not count.
  std::vector<uint16_t> image(size_t(kWidth) * kHeight, 9000);
  const Region collimation{500, 200, 1500, 2000};
  for (int32_t r = collimation.top; r < collimation.top + collimation.height; ++r)
    for (int32_t c = collimation.left; c < collimation.left + collimation.width; ++c)
      image[size_t(r) * kWidth + size_t(c)] = uint16_t(InDataArea(r, c) ? 2600 : 0);
  EXPECT_DOUBLE_EQ(ExposureIndex(image.data(), collimation, response), 250.0);
  EXPECT_NEAR(DeviationIndex(250.0, 125.0), 3.0103, 1e-4);
  EXPECT_DOUBLE_EQ(DeviationIndex(250.0, 250.0), 0.0);

  const std::vector<uint16_t> flat = sim::RenderFlat(sim::ImagingModel{}, kSeed, 0, 2.5);
  const Region everything{0, 0, kHeight, kWidth};
  EXPECT_NEAR(ExposureIndex(flat.data(), everything, response), 250.0, 2.5);
}

TEST(ExposureIndex, WritesNoneWithoutExposureOrResponse) {
  const std::vector<uint16_t> dark(size_t(kWidth) * kHeight, 90);
  const Region everything{0, 0, kHeight, kWidth};
  EXPECT_EQ(ExposureIndex(dark.data(), everything, {100.0, 1000.0}), 0.0);
  ExpectFailure([&] { ExposureIndex(dark.data(), everything, {100.0, 0.0}); }, QaError::Kind::kBadArgument, "response");
  ExpectFailure([] { DeviationIndex(0.0, 250.0); }, QaError::Kind::kBadArgument, "above 0");
  ExpectFailure([&] { ExposureIndex(dark.data(), Region{0, 1300, 3072, 400}, {100.0, 1000.0}); }, QaError::Kind::kBadArgument,
                "no pixel");
}
