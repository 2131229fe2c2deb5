// What a calibration found, for the service engineer: defects.csv, and
// report.html with its pictures (PNG files beside it).
#pragma once

#include <string>
#include <vector>

#include "calibration/acceptance.h"
#include "calibration/calibration_analysis.h"
#include "reports/map_pictures.h"

namespace tavrix_tool {

// One input file of raw frames, as the report identifies it.
struct FrameFile {
  std::string set, path;
  int frames = 0;
  std::string sha256;
};

// What the report says about where the frames came from, and who, where
// and with what they were taken.
struct CalibrationSources {
  std::string darks;
  std::vector<std::string> levels;
  std::string check;  // "" without an independent check flat
  std::vector<std::string> refusedLevels;  // "files: reason"
  std::vector<FrameFile> files;
  std::string created;       // UTC, "YYYY-MM-DD HH:MM:SS UTC"
  std::string toolVersion, libraryVersion;
  std::string station, panelId;  // "" when not given
  std::string temperature;       // "no reading" when none was read
  std::string command;           // how the frames were given: build or acquire
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
                            const CalibrationSources& sources, const CalibrationSettings& settings,
                            const Verdict& verdict);

// The few lines printed when the command ends, the verdict last.
std::string CalibrationSummary(const CalibrationResult& result, const Verdict& verdict);

}  // namespace tavrix_tool
