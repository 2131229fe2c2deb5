// The detective quantum efficiency, DQE(f) = MTF(f)^2 / (q K NNPS(f)), with
// q the squared signal-to-noise ratio per air kerma of the beam quality.
// The values of q are those of IEC 62220-1-1:2015 (the 2003 edition gave
// 30,174 for RQA5; the tool follows 2015).
#pragma once

#include <string>

#include "curve.h"

namespace tavrix_qa {

struct BeamQuality {
  const char* name;
  double quantaPerMm2PerUGy;
};

constexpr const char* kBeamQualityEdition = "IEC 62220-1-1:2015";
constexpr BeamQuality kRqa5{"RQA5", 29653.0};

// Throws QaError (an argument) for a beam quality the table has not.
const BeamQuality& FindBeamQuality(const std::string& name);

// At the NNPS's frequencies up to the last the MTF reaches, the MTF read
// between its points. Throws QaError unless the kerma is above 0.
Curve ComputeDqe(const Curve& mtf, const Curve& nnps, double kermaUGy, const BeamQuality& beam);

}  // namespace tavrix_qa
