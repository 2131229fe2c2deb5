// From dark and flat frame statistics to the panel's maps: the defective
// pixels by class, the defective half rows and columns, the gain of every
// pixel, the checks that the correction can use the maps, and the figures
// the report shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calibration/calibration_frames.h"

namespace tavrix_tool {

// What the calibration found at a pixel, most serious first where a pixel
// qualifies for several.
enum class PixelClass : uint8_t {
  kGood = 0,
  kHot,
  kDead,
  kOverResponding,
  kUnderResponding,
  kNoisy,
  kNonUniform,
  kBadNeighbourhood,  // all eight neighbours bad
  kLine,              // on a flagged half row or column
  kClassCount,
};
const char* PixelClassName(PixelClass c);

// The neighbourhoods whose medians a pixel's response and the corrected
// check flat are compared with, in pixels a side.
constexpr int32_t kResponseWindow = 21;
constexpr int32_t kUniformityWindow = 9;
// "21 x 21": how the usage and the report name a window.
std::string WindowName(int32_t side);

// The thresholds, each an option of `tavrix calibrate`.
struct CalibrationSettings {
  double deadBelow = 0.10;      // flat - dark below this fraction of the median
  double hotAbove = 819.0;      // dark above the median dark by this many counts
  double overAbove = 1.3;       // response over the median of its neighbourhood
  double underBelow = 0.6;
  double grossOver = 2.0;       // response beyond these: code 2
  double grossUnder = 0.2;
  double noisyAbove = 6.0;      // temporal deviation over the median deviation
  double nonUniformAbove = 0.01;  // corrected check flat off its local median
  double lineFraction = 0.5;    // defective pixels in a half row or column
  double lineDeparture = 0.10;  // line mean off the trend of lines 2 and 3 away
};

// A dose level's frames, or the independent check flat.
struct FlatLevel {
  std::string name;  // for messages: the file(s)
  FrameSetStats stats;
};

// The median of an image-sized field over the columns that carry data.
double DataMedian(const std::vector<float>& values);

// Why a flat level cannot serve (too bright, too dark, not above the darks),
// or "" when it can.
std::string FlatLevelProblem(const FrameSetStats& flat, const FrameSetStats& darks);

struct LevelFigures {
  double medianReading = 0;   // median mean reading of the data pixels
  double medianSignal = 0;    // ... minus the dark
  double cvBefore = 0;        // of the offset-subtracted flat, good pixels
  double cvAfter = 0;         // of the flat times the gain map, good pixels
  double temporalNoise = 0;   // median temporal deviation
};

struct ResidualFigure {
  double fractionOfFullScale;  // median reading the dose gives
  double cv;                   // predicted CV of the corrected flat
};

struct LineFlag {
  int32_t index;
  uint8_t flag;  // row: 1 right half, 2 left half, 3 both; column: 1
  std::string reason;
};

struct CalibrationResult {
  std::vector<uint8_t> classes;   // PixelClass per image pixel
  std::vector<uint8_t> pixelMap;  // the pixel-map file's bytes
  std::vector<float> gains;       // the gain map, 3072 x 3072
  std::vector<LineFlag> rows, columns;
  // Reasons the correction could not use the maps well; maps are written
  // only when there is none.
  std::vector<std::string> refusals;

  // Figures for the report.
  size_t pixelsByClass[size_t(PixelClass::kClassCount)] = {};
  size_t pixelsByCode[3] = {};  // data pixels with code 0, 1, 2
  std::vector<size_t> clusterSizes;  // 8-connected groups of defective pixels
  double darkMedian = 0, darkNoise = 0;
  std::vector<LevelFigures> levels;
  bool checkGiven = false;
  double checkCv = 0;       // corrected check flat (or last level), good pixels
  double checkCvRaw = 0;    // the same before correction, offset subtracted
  std::vector<ResidualFigure> residuals;
  std::vector<float> correctedCheck;  // the check flat times the gains, over its median
  std::vector<float> rowProfile, columnProfile;  // the top level's signal, relative to its median
};

// Levels in increasing dose. `check` may be null.
CalibrationResult Calibrate(const FrameSetStats& darks, const std::vector<const FrameSetStats*>& levels,
                            const FrameSetStats* check, const CalibrationSettings& settings);

}  // namespace tavrix_tool
