#include "response.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "frame_statistics.h"
#include "qa_error.h"

namespace tavrix_qa {
namespace {

constexpr double kMostClippedFraction = 0.001;

}  // namespace

ResponseFit MeasureResponse(const std::vector<KermaFlat>& flats) {
  std::set<double> kermas;
  for (const KermaFlat& flat : flats) {
    RequirePositiveKerma(flat.kermaUGy);
    kermas.insert(flat.kermaUGy);
  }
  if (kermas.size() < kMinimumResponseKermas)
    FailImages("the response needs flats at " + std::to_string(kMinimumResponseKermas) + " different air kermas or more, not " +
               std::to_string(kermas.size()));
  ResponseFit fit;
  for (const KermaFlat& flat : flats) {
    const AreaStatistics s = DataAreaStatistics(flat.image);
    if (double(s.clipped) > kMostClippedFraction * double(s.pixels))
      FailImages("the flat at " + std::to_string(flat.kermaUGy) + " uGy is saturated or empty: " + std::to_string(s.clipped) +
                 " pixels read 0 or full scale");
    fit.points.push_back({flat.kermaUGy, s.mean});
  }
  const double n = double(fit.points.size());
  double sk = 0, ss = 0, skk = 0, sks = 0;
  for (const ResponsePoint& p : fit.points) {
    sk += p.kermaUGy;
    ss += p.meanSignal;
    skk += p.kermaUGy * p.kermaUGy;
    sks += p.kermaUGy * p.meanSignal;
  }
  const double slope = (n * sks - sk * ss) / (n * skk - sk * sk);
  fit.conversion = {(ss - slope * sk) / n, slope};
  if (!(slope > 0.0)) FailImages("the signal does not rise with the air kerma");
  double residual = 0.0, total = 0.0;
  for (const ResponsePoint& p : fit.points) {
    const double predicted = fit.conversion.offset + slope * p.kermaUGy;
    residual += std::pow(p.meanSignal - predicted, 2);
    total += std::pow(p.meanSignal - ss / n, 2);
    fit.largestRelativeResidual =
        std::max(fit.largestRelativeResidual, std::fabs(p.meanSignal - predicted) / (slope * p.kermaUGy));
  }
  fit.rSquared = 1.0 - residual / total;
  return fit;
}

}  // namespace tavrix_qa
