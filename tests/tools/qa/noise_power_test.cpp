#include "noise_power.h"

#include <gtest/gtest.h>

#include <cmath>

#include "dqe.h"
#include "imaging_physics.h"
#include "expect_failure.h"
#include "qa_error.h"
#include "slanted_edge.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;
constexpr double kKerma = 2.5;

struct Flats {
  std::vector<std::vector<uint16_t>> images;
  std::vector<const uint16_t*> views;
  Flats(int count, double kerma, uint32_t firstFrame = 0) {
    for (int k = 0; k < count; ++k) images.push_back(sim::RenderFlat(sim::ImagingModel{}, kSeed, firstFrame + uint32_t(k), kerma));
    for (const auto& image : images) views.push_back(image.data());
  }
};

NoiseOptions WithDarkLevel() {
  NoiseOptions options;
  options.darkLevel = sim::ImagingModel{}.darkLevel;
  return options;
}

}  // namespace

// One test: the flats and the edge take a few seconds to render.
TEST(NoisePower, NnpsWithinFivePercentAndDqeWithinSevenOfTheModelsTruth) {
  const sim::ImagingModel model;
  const Flats flats(8, kKerma);
  const NoisePower nnps = MeasureNoisePower(flats.views, WithDarkLevel());
  EXPECT_EQ(nnps.regions, 8 * 22 * 16);
  EXPECT_NEAR(nnps.meanSignal, model.countsPerUGy * kKerma, 1.0);
  for (const Curve* cut : {&nnps.horizontal, &nnps.vertical}) {
    for (size_t i = 0; i < cut->values.size(); ++i) {
      const double f = cut->frequenciesPerMm[i];
      if (f < 0.5 || f > 3.0) continue;
      EXPECT_NEAR(cut->values[i] / sim::TrueNnps(model, kKerma, f, 0.0), 1.0, 0.05) << "at " << f << " per mm";
    }
  }
  sim::EdgeScene scene;
  scene.angleDegrees = 2.6;
  const std::vector<uint16_t> edge = sim::RenderEdge(model, scene, kSeed);
  const Curve dqe = ComputeDqe(MeasurePresampledMtf(edge.data()).mtf, nnps.horizontal, kKerma, kRqa5);
  for (size_t i = 0; i < dqe.values.size(); ++i) {
    const double f = dqe.frequenciesPerMm[i];
    if (f < 0.5 || f > 3.0) continue;
    EXPECT_NEAR(dqe.values[i] / sim::TrueDqe(model, kKerma, f), 1.0, 0.07) << "at " << f << " per mm";
  }
}

TEST(NoisePower, RefusesTooFewSaturatedOrEmptyFlats) {
  const Flats two(2, kKerma);
  ExpectFailure([&] { MeasureNoisePower(two.views, WithDarkLevel()); }, QaError::Kind::kBadImages, "at least 1000");
  const Flats saturated(3, 20.0);
  ExpectFailure([&] { MeasureNoisePower(saturated.views, WithDarkLevel()); }, QaError::Kind::kBadImages, "saturated");
  const std::vector<uint16_t> dark = sim::RenderDark(sim::ImagingModel{}, kSeed, 0);
  const std::vector<const uint16_t*> darks(3, dark.data());
  ExpectFailure([&] { MeasureNoisePower(darks, WithDarkLevel()); }, QaError::Kind::kBadImages, "no signal above the dark level");
}
