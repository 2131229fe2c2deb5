#include "lag.h"

#include <gtest/gtest.h>

#include <cmath>

#include "imaging_physics.h"
#include "qa_error.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;

std::vector<const uint16_t*> Views(const std::vector<std::vector<uint16_t>>& images) {
  std::vector<const uint16_t*> views;
  for (const auto& image : images) views.push_back(image.data());
  return views;
}

}  // namespace

TEST(Lag, MeasuresLagAndGhostWithinAFifthOfAPercentagePoint) {
  const sim::ImagingModel model;
  const auto sequence = sim::RenderLagSequence(model, kSeed, 5.0);
  const LagResult lag = MeasureLag(Views(sequence));
  EXPECT_NEAR(lag.lagPercent, 100.0 * model.lag, 0.2);
  EXPECT_NEAR(lag.ghostPercent, -100.0 * sim::TrueGhostContrast(model), 0.2);
  EXPECT_GT(lag.exposedRows, 1000);
  EXPECT_GT(lag.coveredRows, 1000);
}

TEST(Lag, RefusesASequenceOfAnotherLengthOrWithoutACoveredBand) {
  const sim::ImagingModel model;
  auto sequence = sim::RenderLagSequence(model, kSeed, 5.0);
  sequence.pop_back();
  EXPECT_THROW(MeasureLag(Views(sequence)), QaError);
  sequence.push_back(sequence.back());
  sequence[1] = sim::RenderFlat(model, kSeed, 1, 5.0);  // nothing covered
  try {
    MeasureLag(Views(sequence));
    FAIL() << "an exposure without a covered band cannot show lag";
  } catch (const QaError& e) {
    EXPECT_NE(std::string(e.what()).find("covered"), std::string::npos) << e.what();
  }
}
