#include "response.h"

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
