// The normalised noise power spectrum of flat fields (IEC 62220-1-1):
// regions of 256 x 256 pixels, overlapping by half, in the data area only,
// each with a fitted second-order surface taken off; the 2-D spectrum
// averaged over all regions of all flats and divided by the squared mean
// signal; 1-D cuts from the seven lines either side of each axis (the axis
// itself left out), averaged over radial frequency within two frequency
// steps (2 / (256 x pitch), 0.056 per mm at 0.139 mm) of each point.
#pragma once

#include <cstdint>
#include <vector>

#include "curve.h"
#include "data_area.h"

namespace tavrix_qa {

constexpr int32_t kNoiseRegionSize = 256;
constexpr int32_t kMinimumNoiseRegions = 1000;

struct NoiseOptions {
  double pitchMm = kDefaultPitchMm;
  // Taken off the mean before normalising, so that the spectrum is that of
  // the signal proportional to air kerma (the response's offset).
  double darkLevel = 0.0;
};

struct NoisePower {
  Curve horizontal;  // along the rows: NNPS in mm^2
  Curve vertical;
  Curve average;     // of the two
  double meanSignal = 0.0;  // above the dark level
  int32_t regions = 0;
  int32_t flats = 0;
};

// Throws QaError for a saturated or empty region, or for fewer regions
// than kMinimumNoiseRegions.
NoisePower MeasureNoisePower(const std::vector<const uint16_t*>& flats, const NoiseOptions& options = {});

}  // namespace tavrix_qa
