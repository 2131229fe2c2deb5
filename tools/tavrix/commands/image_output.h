// Writing one image in the formats the user chose, with the record of how it
// was made: options shared by acquire, correct and enhance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "dicom/dicom_file.h"
#include "dicom/station_settings.h"

namespace tavrix_tool {

// The options every image-writing command takes, and their usage lines.
extern const std::vector<OptionSpec> kImageOutputOptions;
extern const char* const kImageOutputUsage;

struct ImageOutput {
  std::string prefix;
  Formats formats;
  bool force = false;
  bool compress = false;
  // DICOM: one study per run, its corrected images one series and its
  // enhanced images another.
  StationSettings station;
  DicomPatientStudy exam;
  std::string correctedSeriesUid, enhancedSeriesUid;
  std::string outbox;  // when not empty, every DICOM file written is put there too
};
// From the parsed arguments: UsageError without -o, or naming the exam's
// field and the rule it breaks; Failure naming the line of a station
// configuration that cannot be used. The study and series UIDs are new.
ImageOutput ParseImageOutput(const Arguments& arguments);

// The series numbers of the two kinds of image.
constexpr int kCorrectedSeriesNumber = 1;
constexpr int kEnhancedSeriesNumber = 2;

struct EnhancementSettings {
  int levels, strength, radius, decay;
};

// The values the library enhances with; outside them it leaves the output
// untouched, so they are refused before any work.
struct EnhancementRange {
  const char* name;
  int EnhancementSettings::*field;
  int low, high, fallback;
};
extern const EnhancementRange kEnhancementRanges[4];

// "L,S,R,D" as --enhance gives it, each within its range; UsageError naming
// the value otherwise.
EnhancementSettings ParseEnhancement(const std::string& text);

// `image` enhanced into `enhanced` through the library's Enhancement, which
// smooths its source in place: `image` is copied into `working` (an image of
// the caller's, reused from frame to frame) first. Failure when the library
// refused or left any pixel unwritten.
void EnhanceImage(const uint16_t* image, uint16_t* working, uint16_t* enhanced, const EnhancementSettings& settings);

// How an image was made, recorded in TIFF and DICOM files.
struct ImageRecord {
  std::string command;
  int panel = -1;  // -1: not recorded
  std::string pixelMap = "neutral", gainMap = "neutral";  // SHA-256 of each file, or "neutral"
  bool enhanced = false;
  EnhancementSettings enhancement{};
  bool hasMessages = false;
  std::vector<int> switchCodes;
  std::optional<int> temperature;  // degrees Celsius, when a reading arrived
  std::string sourceFile;
  long frameIndex = -1;
  // The DICOM image an enhanced one was made from, when one was written.
  std::string sourceSopClassUid, sourceSopInstanceUid;
  // The exposure's index: WriteImageFiles sets a corrected image's from its
  // pixels; an enhanced image carries the one of the image it was made from.
  std::optional<DicomExposureIndex> exposureIndex;
};

// What WriteImageFiles wrote: the DICOM object's SOP class and instance UIDs
// (empty when DICOM was not chosen), and the image's exposure index.
struct WrittenDicom {
  std::string sopClassUid, sopInstanceUid;
  std::optional<DicomExposureIndex> exposureIndex;
};

// The record as one JSON object, with the version and the time.
std::string RecordJson(const ImageRecord& record, const std::string& utcTime);

// Writes PREFIX_NNNN<suffix>.tif/.png/.dcm as chosen; `suffix` is "" or
// "_enhanced". Throws Failure naming the file that could not be written.
// A DICOM file goes to the outbox too when one is set.
WrittenDicom WriteImageFiles(const ImageOutput& output, int index, const std::string& suffix, const uint16_t* image,
                             const ImageRecord& record);

// Fails before any work when a file the run would write exists (without
// --force) or its folder is missing.
void CheckOutputsFree(const ImageOutput& output, int firstIndex, int count, bool enhancedToo);


// The version of the tool and library, "1.0.0".
std::string VersionString();

}  // namespace tavrix_tool
