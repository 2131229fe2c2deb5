// What a calibration found, for the service engineer: defects.csv, and
// report.html with its pictures (PNG files beside it).
#pragma once

#include <string>
#include <vector>

#include "calibration/calibration_analysis.h"
#include "reports/map_pictures.h"

namespace tavrix_tool {

// What the report says about where the frames came from.
struct CalibrationSources {
  std::string darks;
  std::vector<std::string> levels;
  std::string check;  // "" without an independent check flat
  std::vector<std::string> refusedLevels;  // "files: reason"
};

// The pictures, each reduced to a size a page shows whole.
Picture DefectClassPicture(const CalibrationResult& result);
Picture GainPicture(const CalibrationResult& result);
Picture CorrectedFlatPicture(const std::vector<float>& relative);  // +-2 % around 1
// A profile along rows or columns (`line` names the axis), flagged lines marked.
Picture ProfilePicture(const std::vector<float>& profile, const std::vector<LineFlag>& flagged, const char* line);

// "row,column,class,code" lines: one per defective data pixel, one per
// flagged line (the other index empty, the code its flag).
std::string DefectsCsv(const CalibrationResult& result);

// Writes report.html and its PNG files into `folder` (each atomically,
// replacing older ones).
void WriteCalibrationReport(const std::string& folder, const CalibrationResult& result,
                            const CalibrationSources& sources, const CalibrationSettings& settings);

// The few lines printed when the command ends.
std::string CalibrationSummary(const CalibrationResult& result);

}  // namespace tavrix_tool
