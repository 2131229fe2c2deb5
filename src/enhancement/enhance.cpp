#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/instruction_set.h"
#include "platform/streaming_clear.h"
#include "enhancement/band_processing.h"
#include "enhancement/decomposition.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/reconstruction.h"
#include "enhancement/smoothing.h"

namespace tavrix {
namespace {

constexpr int32_t kMostLevels = 5;
constexpr int32_t kSmallWindow = 3;
constexpr int32_t kLargeWindow = 5;
constexpr int32_t kLeastLevelsForLargeWindow = 4;
constexpr int32_t kMinRadius = 1;
constexpr int32_t kMinDecay = 1;
constexpr int32_t kMaxDecay = 30;
// Single-precision constant; the product with the argument is formed in double.
constexpr float kDecayStep = 0.1f;

template <class T>
void Clear(T* array, size_t count) {
  std::memset(array, 0, count * sizeof(T));
}

// A block at the top left of a plane.
struct Block {
  int32_t columns;
  int32_t rows;
};

// Clears all of the width x height plane but the block, streaming.
void ClearOutside(float* plane, int32_t width, int32_t height, Block block) {
  if (block.columns < width)
    ClearStreamingRows(plane + block.columns, size_t(width - block.columns) * sizeof(float),
                       ptrdiff_t(width) * ptrdiff_t(sizeof(float)), size_t(block.rows));
  ClearStreaming(plane + ptrdiff_t(block.rows) * width, size_t(height - block.rows) * size_t(width) * sizeof(float));
}

// The blocks that a run of `levels` (1 or more) on a width x height image
// writes whole, each before anything reads it: the first level's column pass
// writes the top half of the coefficients, the band processing the band in
// both work planes, and each enlargement but the last (which writes the
// image) twice the block before it, into plane A and plane B in turn.
struct PlaneBlocks {
  Block coefficients;
  Block planeA;
  Block planeB;
};
PlaneBlocks WrittenBlocks(int32_t width, int32_t height, int32_t levels) {
  Block band{width, height};
  for (int32_t level = 0; level < levels; ++level) band = {band.columns / 2, band.rows / 2};
  PlaneBlocks blocks{{width, height / 2}, band, band};
  Block enlarged = band;
  for (int32_t i = 0; i + 1 < levels; ++i) {
    enlarged = {enlarged.columns * 2, enlarged.rows * 2};
    (i % 2 == 0 ? blocks.planeA : blocks.planeB) = enlarged;
  }
  return blocks;
}

// Fewer levels for an image narrower than the planes: each halving of the
// size takes one level away.
int32_t LevelCap(int32_t maxWidth, int32_t width, int32_t height) {
  const double ratio = double(maxWidth) / double(width);
  const int32_t n = (ratio == std::trunc(ratio)) ? maxWidth / width : maxWidth / height;
  const int32_t halvings = int32_t(std::log(double(n)) / std::log(2.0));
  const int32_t cap = kMostLevels - halvings;
  if (cap > kMostLevels) return kMostLevels;
  if (cap < 1) return 0;
  return cap;
}

}  // namespace

void EnhancementEngine::Enhance(uint16_t* source, uint16_t* destination, int32_t levels_,
                                int32_t strength_, int32_t smoothingRadius_,
                                int32_t smoothingDecay_, int32_t width_, int32_t height_) {
  Run(source, destination, levels_, strength_, smoothingRadius_, smoothingDecay_, width_, height_,
      false);
}

void EnhancementEngine::EnhancePlain(uint16_t* source, uint16_t* destination, int32_t levels_,
                                     int32_t strength_, int32_t smoothingRadius_,
                                     int32_t smoothingDecay_, int32_t width_, int32_t height_) {
  Run(source, destination, levels_, strength_, smoothingRadius_, smoothingDecay_, width_, height_,
      true);
}

void EnhancementEngine::Run(uint16_t* source, uint16_t* destination, int32_t levels_,
                            int32_t strength_, int32_t smoothingRadius_, int32_t smoothingDecay_,
                            int32_t width_, int32_t height_, bool plain) {
  // Only images that fit the planes can be enhanced; the detector's always do.
  if (!IsComplete()) return;
  if (width_ < 1 || height_ < 1 || width_ > maxWidth || height_ > maxHeight) return;
  width = width_;
  height = height_;

  // Nothing of an earlier run may reach this one.
  const size_t planeElements = PlaneElements();
  auto clearPlane = [plain](auto* plane, size_t count) {
    plain ? Clear(plane, count) : ClearStreaming(plane, count * sizeof *plane);
  };
  Clear(lineBuffer, LineElements());
  Clear(histogram, size_t(kHistogramBins));

  strength = strength_;
  const int32_t cap = LevelCap(maxWidth, width, height);
  levels = levels_ < cap ? levels_ : cap;
  windowSize = (levels == kLeastLevelsForLargeWindow || levels == kMostLevels) ? kLargeWindow
                                                                               : kSmallWindow;
  smoothingRadius =
      (smoothingRadius_ >= kMinRadius && smoothingRadius_ <= kMaxKernelRadius) ? smoothingRadius_
                                                                                : 0;
  const bool decayValid = smoothingDecay_ >= kMinDecay && smoothingDecay_ <= kMaxDecay;
  smoothingDecay = decayValid ? double(smoothingDecay_) * double(kDecayStep) : 0.0;

  const bool runs = strength != 0 && levels != 0 && smoothingRadius != 0 && decayValid;

  // The copy for the smoothing and the log image are overwritten whole by a
  // run that goes on at full size; clearing them first would change nothing.
  // The plain run clears them regardless.
  const bool overwrittenWhole = runs && width == maxWidth && height == maxHeight;
  if (plain || !overwrittenWhole) {
    clearPlane(logImage, planeElements);
    clearPlane(smoothingCopy, planeElements);
  }
  // Of the other planes such a run with at least one level overwrites a top
  // left block; only the rest is cleared, to the same zeros as the plain run
  // leaves there.
  if (plain || !overwrittenWhole || levels < 1) {
    clearPlane(coefficients, planeElements);
    clearPlane(workPlaneA, planeElements);
    clearPlane(workPlaneB, planeElements);
  } else {
    const PlaneBlocks blocks = WrittenBlocks(width, height, levels);
    ClearOutside(coefficients, maxWidth, maxHeight, blocks.coefficients);
    ClearOutside(workPlaneA, maxWidth, maxHeight, blocks.planeA);
    ClearOutside(workPlaneB, maxWidth, maxHeight, blocks.planeB);
  }
  if (!runs) return;

  kernelRadius = smoothingRadius;
  kernelSize = 2 * smoothingRadius + 1;
  // The image's own size (the planes' size for the detector): the host's buffer
  // holds no more than that.
  (plain ? SmoothImagePlain : SmoothImage)(smoothingRadius, smoothingDecay, kernel, source,
                                           smoothingCopy, width, height);

  const size_t pixelCount = size_t(width) * size_t(height);
  DisplayWindow window;
  if (plain) {
    LogMapImage(source, destination, pixelCount, logMapTable);
    window = ComputeWindow(destination, pixelCount, histogram, logImage, logImageTable);
  } else {
    window = LogMapAndComputeWindow(source, destination, pixelCount, logMapTable, histogram,
                                    logImage, logImageTable, valueCounts);
  }
  windowLow = window.low;
  windowHigh = window.high;
  const CorrectionScale scale = ComputeGain(strength, window);
  gain = scale.gain;
  centre = scale.centre;

  const LineFilter filter{lowPass, tapCount, phaseShift, lineBuffer};
  int32_t w = width;
  int32_t h = height;
  for (level = 0; level < levels; ++level) {
    (plain ? DecomposeLevelPlain : DecomposeLevel)(w, h, filter,
                                                   level == 0 ? logImage : coefficients,
                                                   coefficients, width);
    w /= 2;
    h /= 2;
  }
  bandHeight = h;
  bandWidth = w;

  const Band band{bandWidth, bandHeight, width};
  VerticalLocalMean(coefficients, workPlaneA, band, windowSize);
  ComputeCorrectionBand(coefficients, workPlaneA, workPlaneB, band, windowSize, centre, gain);
  const FinalOutput output{logImage, destination, strength};
  Reconstruct(workPlaneB, workPlaneA, output, width, bandWidth, bandHeight, levels,
              plain ? UpsampleLevelPlain : UpsampleLevel);
}

}  // namespace tavrix
