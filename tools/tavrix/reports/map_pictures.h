// Pictures of the calibration maps for a person: the defect map in colour,
// the gain map in grey, and a histogram of the gains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reports/map_report.h"
#include "reports/plot.h"

namespace tavrix_tool {

// The colour a pixel code is drawn in, and a line naming every colour.
Rgb CodeColour(uint8_t code);
std::string DefectPictureLegend();

// The image area at full size: border and data-less columns shaded, flagged
// rows and columns drawn (dashed where they change no visible pixel), and each
// defective pixel in its code's colour within a square halo, so that a single
// one still shows when the picture is viewed reduced.
Picture DefectPicture(const std::vector<uint8_t>& map, const PixelMapReport& report);

// The gains as grey levels 0..kGreyWhite, black at `low` and below, white at
// `high` and above; NaN black, as the pixels it multiplies turn 0.
constexpr uint16_t kGreyWhite = 255;
std::vector<uint16_t> GainGreyLevels(const std::vector<float>& gains, float low, float high);

// The range a histogram of the gains shows: the 1st to 99th percentile
// widened by half its width on each side, within the finite gains.
using HistogramRange = AxisRange;
HistogramRange GainHistogramRange(const GainReport& report);

// Counts of the data area's gains in `bins` equal bins over `range` (its
// upper end in the last bin); gains outside it and not finite are left out.
std::vector<size_t> GainHistogram(const std::vector<float>& gains, HistogramRange range, size_t bins);

// The histogram as bars with ticks and numbers along both axes, the 1st and
// 99th percentile and the median marked.
Picture GainHistogramPicture(const std::vector<float>& gains, const GainReport& report);

}  // namespace tavrix_tool
