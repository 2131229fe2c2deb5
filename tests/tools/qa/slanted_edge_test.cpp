#include "slanted_edge.h"

#include <gtest/gtest.h>

#include <cmath>

#include "imaging_physics.h"
#include "qa_error.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr uint32_t kSeed = 11;

std::vector<uint16_t> Edge(sim::EdgeDirection direction, double angle) {
  sim::EdgeScene scene;
  scene.direction = direction;
  scene.angleDegrees = angle;
  return sim::RenderEdge(sim::ImagingModel{}, scene, kSeed);
}

void ExpectMtfWithinTwoHundredthsOfTruth(const EdgeMtf& edge) {
  const sim::ImagingModel model;
  ASSERT_FALSE(edge.mtf.values.empty());
  EXPECT_NEAR(edge.mtf.frequenciesPerMm.back(), 0.5 / kDefaultPitchMm, 1e-9) << "the curve must end at Nyquist";
  for (size_t i = 0; i < edge.mtf.values.size(); ++i) {
    const double f = edge.mtf.frequenciesPerMm[i];
    EXPECT_NEAR(edge.mtf.values[i], sim::TruePresampledMtf(model, f), 0.02) << "at " << f << " per mm";
  }
}

}  // namespace

TEST(SlantedEdge, MeasuresBothDirectionsAndTheAngleAgainstTheModelsTruth) {
  const std::vector<uint16_t> vertical = Edge(sim::EdgeDirection::kHorizontal, 2.3);
  const EdgeMtf across = MeasurePresampledMtf(vertical.data());
  EXPECT_EQ(across.direction, MtfDirection::kHorizontal);
  EXPECT_NEAR(std::fabs(across.angleDegrees), 2.3, 0.05);
  ExpectMtfWithinTwoHundredthsOfTruth(across);

  const std::vector<uint16_t> horizontal = Edge(sim::EdgeDirection::kVertical, 1.6);
  const EdgeMtf down = MeasurePresampledMtf(horizontal.data());
  EXPECT_EQ(down.direction, MtfDirection::kVertical);
  EXPECT_NEAR(std::fabs(down.angleDegrees), 1.6, 0.05);
  ExpectMtfWithinTwoHundredthsOfTruth(down);
  // Where the measured curve falls to a half, the true one is there too.
  EXPECT_NEAR(sim::TruePresampledMtf(sim::ImagingModel{}, down.mtf.FrequencyWhereFallsTo(0.5)), 0.5, 0.02);
}

TEST(SlantedEdge, RefusesAFlatFieldAndEdgesOutsideOneToTenDegrees) {
  const std::vector<uint16_t> flat = sim::RenderFlat(sim::ImagingModel{}, kSeed, 0, 5.0);
  try {
    MeasurePresampledMtf(flat.data());
    FAIL() << "a flat field has no edge";
  } catch (const QaError& e) {
    EXPECT_EQ(e.kind(), QaError::Kind::kBadImages);
    EXPECT_NE(std::string(e.what()).find("no edge"), std::string::npos) << e.what();
  }
  for (double angle : {0.4, 14.0}) {
    const std::vector<uint16_t> image = Edge(sim::EdgeDirection::kHorizontal, angle);
    try {
      MeasurePresampledMtf(image.data());
      FAIL() << "an edge at " << angle << " degrees must be refused";
    } catch (const QaError& e) {
      EXPECT_EQ(e.kind(), QaError::Kind::kBadImages);
      EXPECT_NE(std::string(e.what()).find("1 to 10 degrees"), std::string::npos) << e.what();
    }
  }
}
