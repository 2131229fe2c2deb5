#include "response.h"

#include <gtest/gtest.h>

#include <cmath>

#include "exposure_index.h"
#include "imaging_physics.h"
#include "qa_error.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;

template <typename F>
void ExpectFailure(F measure, QaError::Kind kind, const std::string& words) {
  try {
    measure();
    FAIL() << "expected a failure saying '" << words << "'";
  } catch (const QaError& e) {
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
  }
}

}  // namespace

TEST(Response, FitsTheModelsLinearResponseWithinOnePercent) {
  const sim::ImagingModel model;
  std::vector<std::vector<uint16_t>> images;
  std::vector<KermaFlat> flats;
  const double kermas[] = {0.5, 1.0, 2.0, 4.0, 8.0};
  for (double kerma : kermas) images.push_back(sim::RenderFlat(model, kSeed, uint32_t(kerma * 10), kerma));
  for (size_t i = 0; i < images.size(); ++i) flats.push_back({kermas[i], images[i].data()});
  const ResponseFit fit = MeasureResponse(flats);
  EXPECT_NEAR(fit.conversion.countsPerUGy / model.countsPerUGy, 1.0, 0.01);
  EXPECT_NEAR(fit.conversion.offset, model.darkLevel, 0.01 * model.darkLevel);
  EXPECT_GT(fit.rSquared, 0.9999);
  EXPECT_LT(fit.largestRelativeResidual, 0.01);
  EXPECT_NEAR(fit.conversion.KermaOf(model.darkLevel + 3000.0), 3.0, 0.03);
}

TEST(Response, RefusesKermaNotAboveZeroTooFewKermasAndSaturatedFlats) {
  const std::vector<uint16_t> flat = sim::RenderFlat(sim::ImagingModel{}, kSeed, 0, 1.0);
  ExpectFailure([&] { MeasureResponse({{1.0, flat.data()}, {0.0, flat.data()}, {2.0, flat.data()}}); },
                QaError::Kind::kBadArgument, "above 0");
  ExpectFailure([&] { MeasureResponse({{1.0, flat.data()}, {1.0, flat.data()}, {2.0, flat.data()}}); },
                QaError::Kind::kBadImages, "3 different air kermas");
  const std::vector<uint16_t> saturated = sim::RenderFlat(sim::ImagingModel{}, kSeed, 1, 20.0);
  ExpectFailure([&] { MeasureResponse({{1.0, flat.data()}, {2.0, flat.data()}, {20.0, saturated.data()}}); },
                QaError::Kind::kBadImages, "saturated");
}

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
