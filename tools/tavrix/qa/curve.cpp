#include "curve.h"

#include <cmath>
#include <limits>

namespace tavrix_qa {

double Curve::At(double frequency) const {
  const std::vector<double>& f = frequenciesPerMm;
  for (size_t i = 0; i + 1 < f.size(); ++i) {
    if (frequency >= f[i] && frequency <= f[i + 1]) {
      const double t = (frequency - f[i]) / (f[i + 1] - f[i]);
      return values[i] + t * (values[i + 1] - values[i]);
    }
  }
  if (!f.empty() && frequency == f.back()) return values.back();
  return std::numeric_limits<double>::quiet_NaN();
}

double Curve::FrequencyWhereFallsTo(double level) const {
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    if (values[i] >= level && values[i + 1] < level) {
      const double t = (values[i] - level) / (values[i] - values[i + 1]);
      return frequenciesPerMm[i] + t * (frequenciesPerMm[i + 1] - frequenciesPerMm[i]);
    }
  }
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace tavrix_qa
