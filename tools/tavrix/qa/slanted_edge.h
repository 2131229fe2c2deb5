// The presampled MTF by the slanted-edge method (IEC 62220-1-1): the edge is
// found in the image and its angle measured, every pixel near it is projected
// onto the edge's normal into an edge spread function oversampled four times,
// which is differentiated, windowed and Fourier transformed, and the result
// normalised at zero frequency.
#pragma once

#include <cstdint>

#include "curve.h"
#include "data_area.h"

namespace tavrix_qa {

// kHorizontal: along the rows, from an almost vertical edge.
enum class MtfDirection { kHorizontal, kVertical };
const char* DirectionName(MtfDirection direction);

struct EdgeOptions {
  double pitchMm = kDefaultPitchMm;
};

struct EdgeMtf {
  MtfDirection direction = MtfDirection::kHorizontal;
  double angleDegrees = 0.0;  // of the edge from the column (or row) axis
  Region region;              // the pixels the spread function came from
  double contrast = 0.0;      // counts between the two sides
  Curve mtf;                  // 0 to the Nyquist frequency
};

// `image`: a corrected image of kWidth x kHeight. Throws QaError when no
// edge is found, or when it lies outside 1 to 10 degrees from an axis.
EdgeMtf MeasurePresampledMtf(const uint16_t* image, const EdgeOptions& options = {});

}  // namespace tavrix_qa
