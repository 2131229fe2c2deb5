#include "correction/line_defects.h"

#include <cstddef>
#include <cstdlib>

#include "platform/pixel_rules.h"

namespace tavrix {

namespace {

// A window spans three pixels along the line and advances by two, so each
// window rescales its first two pixels and reads the third as a sample only.
constexpr int32_t kWindowSpan = 3;
constexpr int32_t kWindowStep = 2;
// Multiplied, not divided: the double nearest 1/3 fixes the samples' last bit.
constexpr double kOneThird = 1.0 / 3.0;
constexpr double kReferenceMeanFactor = 0.25;  // four reference lines
constexpr double kZeroFitRatioFactor = 10.0;
constexpr double kHalf = 0.5;

// window[k + kReferenceReach] holds the three pixels at position k.
using Window = std::array<std::array<uint16_t, kWindowSpan>, kPositionCount>;

Ratios RatiosOfWindow(const Window& window) {
  Positions positions;
  LineSamples samples;
  for (int32_t j = 0; j < kPositionCount; ++j) {
    positions[j] = j - kReferenceReach;
    const int32_t sum = int32_t(window[j][0]) + window[j][1] + window[j][2];
    samples[j] = double(sum) * kOneThird;
  }
  double referenceSum = 0.0;
  for (int32_t j = 0; j < kPositionCount; ++j)
    if (std::abs(positions[j]) > kCentreHalfWidth) referenceSum += samples[j];
  const double b = referenceSum * kReferenceMeanFactor;

  LineSamples fitted;
  FitLine(samples, positions, kCentreHalfWidth, b, fitted);
  Ratios ratios;
  ComputeRatios(fitted, samples, kCentreHalfWidth, ratios);
  return ratios;
}

uint16_t Rescale(uint16_t pixel, double ratio) {
  // A ratio of 0 comes only from a row of three zero pixels, this one among
  // them: keep the 0 rather than divide 0 by 0.
  if (ratio == 0.0) return pixel;
  return ClampToPixel(double(pixel) / ratio);
}

uint16_t MeanOfNeighbours(uint16_t before, uint16_t after) {
  return ClampToPixel(double(int32_t(before) + int32_t(after)) * kHalf);
}

void RepairRowHalf(uint16_t* image, int32_t width, int32_t row, int32_t firstColumn) {
  auto p = [&](int32_t r, int32_t c) -> uint16_t& { return image[size_t(r) * width + c]; };
  const int32_t end = firstColumn + width / 2;
  const int32_t windows = width / 4;
  for (int32_t i = 0; i < windows; ++i) {
    const int32_t x = firstColumn + kWindowStep * i;
    // The last window would reach into the other half: it reads column x twice instead.
    const int32_t third = x + kWindowSpan - 1 == end ? x : x + kWindowSpan - 1;
    Window window;
    for (int32_t j = 0; j < kPositionCount; ++j) {
      const int32_t r = row - (j - kReferenceReach);  // position k is row `row - k`
      window[j] = {p(r, x), p(r, x + 1), p(r, third)};
    }
    const Ratios ratios = RatiosOfWindow(window);
    for (int32_t c = x; c < x + kWindowStep; ++c)
      for (int32_t k = -kCentreHalfWidth; k <= kCentreHalfWidth; ++k)
        p(row - k, c) = Rescale(p(row - k, c), ratios[k + kCentreHalfWidth]);
  }
  for (int32_t c = firstColumn; c < end; ++c) p(row, c) = MeanOfNeighbours(p(row - 1, c), p(row + 1, c));
}

void CopyColumn(uint16_t* image, int32_t width, int32_t height, int32_t from, int32_t to) {
  for (int32_t r = 0; r < height; ++r) image[size_t(r) * width + to] = image[size_t(r) * width + from];
}

}  // namespace

void FitLine(const LineSamples& samples, const Positions& positions, int32_t halfWidth, double b,
             LineSamples& fitted) {
  double weightedSum = 0.0;
  int32_t sumOfSquares = 0;
  for (int32_t j = 0; j < kPositionCount; ++j) {
    const int32_t k = positions[j];
    if (std::abs(k) <= halfWidth) continue;
    weightedSum += double(k) * samples[j];
    sumOfSquares += k * k;
  }
  const double slope = weightedSum / double(sumOfSquares);
  for (int32_t j = 0; j < kPositionCount; ++j) fitted[j] = double(positions[j]) * slope + b;
}

void ComputeRatios(const LineSamples& fitted, const LineSamples& samples, int32_t halfWidth, Ratios& ratios) {
  for (int32_t k = -halfWidth; k <= halfWidth; ++k) {
    const int32_t j = k + kReferenceReach;
    ratios[k + halfWidth] = fitted[j] != 0.0 ? samples[j] / fitted[j] : samples[j] * kZeroFitRatioFactor;
  }
}

void RepairRowRightHalf(uint16_t* image, int32_t width, int32_t row) {
  RepairRowHalf(image, width, row, width / 2);
}

void RepairRowLeftHalf(uint16_t* image, int32_t width, int32_t row) { RepairRowHalf(image, width, row, 0); }

void RepairColumn(uint16_t* image, int32_t width, int32_t height, int32_t column) {
  auto p = [&](int32_t r, int32_t c) -> uint16_t& { return image[size_t(r) * width + c]; };
  const int32_t windows = height / 2;
  for (int32_t i = 0; i < windows; ++i) {
    const int32_t y = kWindowStep * i;
    // The last window would leave the image: it reads row y twice instead.
    const int32_t third = y + kWindowSpan - 1 == height ? y : y + kWindowSpan - 1;
    Window window;
    for (int32_t j = 0; j < kPositionCount; ++j) {
      const int32_t c = column + (j - kReferenceReach);  // position k is column `column + k`
      window[j] = {p(y, c), p(y + 1, c), p(third, c)};
    }
    const Ratios ratios = RatiosOfWindow(window);
    for (int32_t r = y; r < y + kWindowStep; ++r)
      for (int32_t k = -kCentreHalfWidth; k <= kCentreHalfWidth; ++k)
        p(r, column + k) = Rescale(p(r, column + k), ratios[k + kCentreHalfWidth]);
  }
  for (int32_t r = 0; r < height; ++r) p(r, column) = MeanOfNeighbours(p(r, column - 1), p(r, column + 1));
}

void CorrectLineDefects(uint16_t* image, int32_t width, int32_t height, const uint8_t* const* pixelMap) {
  // Rows first, then columns, each in increasing order: every repair sees the
  // image as the previous ones left it.
  for (int32_t r = kLineRepairMargin; r < height - kLineRepairMargin; ++r) {
    const uint8_t flag = pixelMap[r][width];
    if (flag == kRowFlagRightHalf || flag == kRowFlagBothHalves) RepairRowRightHalf(image, width, r);
    if (flag == kRowFlagLeftHalf || flag == kRowFlagBothHalves) RepairRowLeftHalf(image, width, r);
  }
  const uint8_t* columnFlags = pixelMap[height];
  for (int32_t c = 0; c < width; ++c) {
    if (columnFlags[c] == 0) continue;
    if (c >= kLineRepairMargin && c < width - kLineRepairMargin) {
      RepairColumn(image, width, height, c);
    } else if (c == 0) {
      CopyColumn(image, width, height, 1, 0);
    } else if (c < kCopiedEdgeColumns || c >= width - kCopiedEdgeColumns) {
      // A copied column passes its copy on to the next flagged column.
      CopyColumn(image, width, height, c - 1, c);
    }
  }
}

}  // namespace tavrix
