#include "dqe.h"

#include <cmath>

#include "qa_error.h"

namespace tavrix_qa {

const BeamQuality& FindBeamQuality(const std::string& name) {
  static const BeamQuality* const kTable[] = {&kRqa5};
  for (const BeamQuality* beam : kTable)
    if (name == beam->name) return *beam;
  FailArgument("unknown beam quality '" + name + "' (known: RQA5)");
}

Curve ComputeDqe(const Curve& mtf, const Curve& nnps, double kermaUGy, const BeamQuality& beam) {
  RequirePositiveKerma(kermaUGy);
  Curve dqe;
  for (size_t i = 0; i < nnps.frequenciesPerMm.size(); ++i) {
    const double f = nnps.frequenciesPerMm[i];
    const double m = mtf.At(f);
    if (std::isnan(m)) continue;
    if (!(nnps.values[i] > 0.0)) FailImages("the noise power spectrum is not above 0 at " + std::to_string(f) + " per mm");
    dqe.frequenciesPerMm.push_back(f);
    dqe.values.push_back(m * m / (beam.quantaPerMm2PerUGy * kermaUGy * nnps.values[i]));
  }
  if (dqe.values.empty()) FailImages("the MTF and the noise power spectrum share no frequencies");
  return dqe;
}

}  // namespace tavrix_qa
