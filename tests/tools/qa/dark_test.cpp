#include "dark.h"

#include <gtest/gtest.h>

#include <cmath>

#include "imaging_physics.h"
#include "qa_error.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;

}  // namespace

TEST(Dark, SeparatesTemporalFromFixedPatternNoise) {
  const sim::ImagingModel model;
  std::vector<std::vector<uint16_t>> darks;
  for (uint32_t k = 0; k < 4; ++k) darks.push_back(sim::RenderDark(model, kSeed, k));
  const DarkResult dark = MeasureDark({darks[0].data(), darks[1].data(), darks[2].data(), darks[3].data()});
  EXPECT_NEAR(dark.mean, model.darkLevel, 0.1);
  // Rounding to whole counts adds 1/12 count^2 to the temporal variance.
  EXPECT_NEAR(dark.temporalNoise, std::sqrt(model.electronicNoise * model.electronicNoise + 1.0 / 12.0), 0.02);
  EXPECT_NEAR(dark.fixedPatternNoise, model.fixedPatternNoise, 0.05);
  EXPECT_THROW(MeasureDark({darks[0].data()}), QaError);
}
