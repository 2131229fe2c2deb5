#include <gtest/gtest.h>

#include "calibration/acceptance.h"

namespace tavrix_tool {
namespace {

// A result that meets every default limit exactly.
CalibrationResult AtTheLimits() {
  const AcceptanceLimits limits;
  CalibrationResult result;
  result.pixelsByClass[size_t(PixelClass::kDead)] = size_t(limits.defects) - 1;
  result.pixelsByClass[size_t(PixelClass::kHot)] = 1;
  result.pixelsByClass[size_t(PixelClass::kLine)] = 50000;  // lines count as lines, not pixels
  result.clusterSizes = {size_t(limits.cluster), 2};
  result.rows.resize(size_t(limits.lines) - 1);
  result.columns.resize(1);
  result.checkGiven = true;
  result.checkCv = limits.checkCv;
  result.darkNoise = limits.darkNoise;
  return result;
}

TEST(Acceptance, PassesAtEachLimitAndFailsJustBeyondIt) {
  const AcceptanceLimits limits;
  EXPECT_TRUE(Judge(AtTheLimits(), limits).passed);
  for (size_t i = 0; i < 5; ++i) {
    AcceptanceLimits tighter = limits;
    const AcceptanceLimit& limit = kAcceptanceLimits[i];
    tighter.*limit.field = limits.*limit.field * 0.9;
    const Verdict verdict = Judge(AtTheLimits(), tighter);
    EXPECT_FALSE(verdict.passed) << limit.option;
    for (size_t j = 0; j < verdict.checks.size(); ++j) EXPECT_EQ(verdict.checks[j].passed, j != i) << limit.option;
    EXPECT_NE(verdict.checks[i].limit.find(limit.option), std::string::npos);
  }
}

TEST(Acceptance, WithoutAnIndependentCheckTheVerdictFails) {
  CalibrationResult result = AtTheLimits();
  result.checkGiven = false;
  result.checkCv = 0;
  const Verdict verdict = Judge(result, AcceptanceLimits());
  EXPECT_FALSE(verdict.passed);
  EXPECT_NE(verdict.checks[3].figure.find("no independent check"), std::string::npos);
}

TEST(Acceptance, OnlyALargeRegionIsNamedAsSomethingInTheBeam) {
  CalibrationResult result = AtTheLimits();
  result.clusterSizes = {kBeamObjectPixels - 1};
  EXPECT_EQ(BeamProblem(result), "");
  result.clusterSizes = {kBeamObjectPixels};
  EXPECT_NE(BeamProblem(result).find("in the beam"), std::string::npos);
}

}  // namespace
}  // namespace tavrix_tool
