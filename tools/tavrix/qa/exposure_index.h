// The exposure index of IEC 62494-1: the value of interest (here the median
// of the data area inside the collimation) converted to air kerma with the
// panel's response, EI = 100 x K in uGy; and the deviation index from a
// target, DI = 10 log10(EI / EI_T).
#pragma once

#include <cstdint>

#include "data_area.h"
#include "response.h"

namespace tavrix_qa {

// The median of the data-area pixels inside `collimation`. Throws QaError
// when the collimation holds none.
double MedianInside(const uint16_t* image, const Region& collimation);

// EI from a corrected image; 0 when the median does not rise above the
// response's offset (no exposure). Throws QaError for a response whose
// conversion is not above 0.
double ExposureIndex(const uint16_t* image, const Region& collimation, const ResponseConversion& response);

// Throws QaError unless both indices are above 0.
double DeviationIndex(double exposureIndex, double targetExposureIndex);

}  // namespace tavrix_qa
