#pragma once

#include <array>
#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// Positions k = -3..3 across a defective line: 0 is the line, +-1 its
// neighbours, +-2 and +-3 the reference lines the trend is fitted through.
constexpr int32_t kPositionCount = 2 * kReferenceReach + 1;
// The centre band (the line and its neighbours) that is rescaled.
constexpr int32_t kRatioCount = 2 * kCentreHalfWidth + 1;

using Positions = std::array<int32_t, kPositionCount>;
using LineSamples = std::array<double, kPositionCount>;
using Ratios = std::array<double, kRatioCount>;

// Rebuilds flagged half-rows and columns against a trend fitted through the lines around them.
void CorrectLineDefects(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap);

// Repair one half of row `row` (kLineRepairMargin <= row < height - kLineRepairMargin).
void RepairRowRightHalf(uint16_t* image, int32_t width, int32_t row);
void RepairRowLeftHalf(uint16_t* image, int32_t width, int32_t row);

// Repairs column `column` over the full height (kLineRepairMargin <= column < width - kLineRepairMargin).
void RepairColumn(uint16_t* image, int32_t width, int32_t height, int32_t column);

// Straight line through the samples at |k| > halfWidth: offset b from the
// caller, slope by least squares about 0; fills every position's fitted value.
void FitLine(const LineSamples& samples, const Positions& positions, int32_t halfWidth, double b,
             LineSamples& fitted);

// Ratio of sample to fit for the centre band |k| <= halfWidth (ratios[0] is
// k = -halfWidth); where the fit is 0 the ratio is ten times the sample.
void ComputeRatios(const LineSamples& fitted, const LineSamples& samples, int32_t halfWidth, Ratios& ratios);

}  // namespace tavrix
