#include "calibration/acceptance.h"

#include <cmath>
#include <cstdio>

namespace tavrix_tool {

const AcceptanceLimit kAcceptanceLimits[5] = {
    {"--max-defects", "defective pixels", &AcceptanceLimits::defects, 0, 1e7, false},
    {"--max-cluster", "largest cluster of defective pixels", &AcceptanceLimits::cluster, 0, 1e7, false},
    {"--max-lines", "flagged rows and columns", &AcceptanceLimits::lines, 0, 1e4, false},
    {"--max-check-cv", "corrected check flat, coefficient of variation", &AcceptanceLimits::checkCv, 0, 1, true},
    {"--max-dark-noise", "dark temporal noise, counts (median)", &AcceptanceLimits::darkNoise, 0, 16383, false},
};

namespace {

std::string Figure(double x, bool percent) {
  char text[32];
  if (percent)
    std::snprintf(text, sizeof text, "%.3f %%", x * 100.0);
  else
    std::snprintf(text, sizeof text, x == std::floor(x) ? "%.0f" : "%.1f", x);
  return text;
}

size_t DefectivePixels(const CalibrationResult& result) {
  size_t defective = 0;
  for (size_t k = 1; k < size_t(PixelClass::kClassCount); ++k)
    if (k != size_t(PixelClass::kLine)) defective += result.pixelsByClass[k];
  return defective;
}

size_t LargestCluster(const CalibrationResult& result) {
  return result.clusterSizes.empty() ? (DefectivePixels(result) > 0 ? 1 : 0) : result.clusterSizes.front();
}

}  // namespace

Verdict Judge(const CalibrationResult& result, const AcceptanceLimits& limits) {
  const double figures[5] = {double(DefectivePixels(result)), double(LargestCluster(result)),
                             double(result.rows.size() + result.columns.size()), result.checkCv, result.darkNoise};
  Verdict verdict;
  for (size_t i = 0; i < 5; ++i) {
    const AcceptanceLimit& limit = kAcceptanceLimits[i];
    const bool passed = figures[i] <= limits.*limit.field;
    verdict.checks.push_back({limit.what, Figure(figures[i], limit.percent),
                              "at most " + Figure(limits.*limit.field, limit.percent) + " (" + limit.option + ")",
                              passed});
    verdict.passed = verdict.passed && passed;
  }
  // Judged on the level the gain came from, uniformity proves nothing.
  if (!result.checkGiven) {
    verdict.checks[3].figure += " (no independent check flat)";
    verdict.checks[3].passed = false;
    verdict.passed = false;
  }
  return verdict;
}

std::string BeamProblem(const CalibrationResult& result) {
  const size_t largest = LargestCluster(result);
  if (largest < kBeamObjectPixels) return "";
  return "a connected region of " + std::to_string(largest) +
         " defective pixels: most likely an object or the collimator in the beam, or a field that is not uniform, "
         "not a panel fault; clear the beam, open the collimator fully and repeat the flats";
}

}  // namespace tavrix_tool
