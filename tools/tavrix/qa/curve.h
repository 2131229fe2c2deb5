// A measured curve against spatial frequency (cycles per mm), read between
// its points by straight lines.
#pragma once

#include <vector>

namespace tavrix_qa {

struct Curve {
  std::vector<double> frequenciesPerMm;
  std::vector<double> values;

  // Linear interpolation; NaN outside the measured range.
  double At(double frequency) const;
  // The lowest frequency at which the curve falls to `level`; NaN if never.
  double FrequencyWhereFallsTo(double level) const;
};

}  // namespace tavrix_qa
