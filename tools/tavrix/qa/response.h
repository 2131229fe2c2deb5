// The panel's response: the mean signal of the data area of flats taken at
// known air kerma, a straight line fitted through them, how straight it is
// (R^2, the largest residual relative to the signal above the offset), and
// the conversion from counts to air kerma that the exposure index needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrix_qa {

struct KermaFlat {
  double kermaUGy;
  const uint16_t* image;
};

// signal = offset + countsPerUGy * K.
struct ResponseConversion {
  double offset = 0.0;
  double countsPerUGy = 0.0;
  double KermaOf(double signal) const { return (signal - offset) / countsPerUGy; }
};

struct ResponsePoint {
  double kermaUGy;
  double meanSignal;
};

struct ResponseFit {
  ResponseConversion conversion;
  double rSquared = 0.0;
  double largestRelativeResidual = 0.0;
  std::vector<ResponsePoint> points;
};

constexpr size_t kMinimumResponseKermas = 3;

// Throws QaError: a kerma not above 0, fewer than kMinimumResponseKermas
// different kermas, or a flat whose data area is clipped.
ResponseFit MeasureResponse(const std::vector<KermaFlat>& flats);

}  // namespace tavrix_qa
