// Whether a calibration passes: its figures against acceptance limits the
// service engineer can see in the report and change by option.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "calibration/calibration_analysis.h"

namespace tavrix_tool {

struct AcceptanceLimits {
  double defects = 10000;   // defective data pixels, lines not counted
  double cluster = 9;       // pixels in the largest 8-connected group
  double lines = 4;         // flagged rows and columns
  double checkCv = 0.005;   // coefficient of variation of the corrected check flat
  double darkNoise = 20;    // median temporal deviation of the darks, counts
};

// One limit: its option, what it bounds, and the figure it is held to.
struct AcceptanceLimit {
  const char* option;
  const char* what;
  double AcceptanceLimits::*field;
  double low, high;
  bool percent;  // shown as a percentage
};
extern const AcceptanceLimit kAcceptanceLimits[5];

struct AcceptanceCheck {
  std::string what, figure, limit;
  bool passed;
};

struct Verdict {
  bool passed = true;
  std::vector<AcceptanceCheck> checks;
};

Verdict Judge(const CalibrationResult& result, const AcceptanceLimits& limits);

// A group of "defects" this large is no panel fault but something in the
// beam or a field that is not flat: a message saying so, or "". Maps are
// not written then.
constexpr size_t kBeamObjectPixels = 2000;
std::string BeamProblem(const CalibrationResult& result);

}  // namespace tavrix_tool
