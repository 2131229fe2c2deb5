// Detector images as DICOM Digital X-Ray objects: a corrected image "for
// processing", an enhanced image "for presentation", uncompressed, 14 bits
// stored in 16, each in its study and series, with the patient, the exam and
// the equipment as the station knows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavrix_tool {

// The equipment, as DICOM and TIFF files name it unless the station
// configuration says otherwise.
constexpr const char* kManufacturer = "Tavrix";
constexpr const char* kModelName = "1417 PCI";
// The panel's pixel pitch at the detector surface, in mm.
constexpr double kPixelPitchMm = 0.139;

// Who and what is examined; empty fields are recorded empty (type 2) or
// left out. Texts are UTF-8 and must pass CheckExam (dicom/exam.h).
struct DicomPatientStudy {
  std::string patientName, patientId, patientBirthDate, patientSex;
  std::string studyInstanceUid, studyId, accessionNumber, studyDescription, referringPhysicianName;
  std::string studyDateTimeUtc;  // "YYYYMMDDHHMMSS", when the study began
  std::string bodyPartExamined, viewPosition, operatorName;
  // From the worklist; recorded in the Request Attributes Sequence when the
  // requested procedure is known.
  std::string requestedProcedureId, requestedProcedureDescription, scheduledStepId, scheduledStepDescription;
};

// The station and its panel.
struct DicomEquipment {
  std::string manufacturer, modelName, stationName, deviceSerialNumber, detectorId, softwareVersion;
};

// The linear VOI window: values up to center - 0.5 - (width - 1) / 2 show
// black, above center - 0.5 + (width - 1) / 2 white.
struct VoiWindow {
  double center = 0;
  double width = 1;  // at least 1
};

// The first problem of the requested procedure's values and the study's
// UID, each named as `source` + its keyword; "" when there is none.
std::string CheckRequestValues(const DicomPatientStudy& exam, const std::string& source);

// `value` as a decimal string (DS): at most 16 characters.
std::string FormatDecimal(double value);

// The exposure index of the image (IEC 62494-1).
struct DicomExposureIndex {
  double exposureIndex = 0;
  // Both only when the station sets a target (the deviation index needs an
  // exposure index above 0 too).
  std::optional<double> targetExposureIndex, deviationIndex;
};

struct DicomImage {
  bool forPresentation = false;  // false: a corrected image, "FOR PROCESSING"; true: an enhanced image
  std::optional<VoiWindow> window;  // none: a viewer or the processing chooses
  DicomPatientStudy exam;
  DicomEquipment equipment;
  std::string seriesInstanceUid, sopInstanceUid;
  int seriesNumber = 1, instanceNumber = 1;
  // The image this one was made from (the corrected one of an enhanced
  // image): its SOP class and instance UIDs, or empty.
  std::string sourceSopClassUid, sourceSopInstanceUid;
  std::optional<double> detectorTemperature;  // degrees Celsius, only when a reading arrived
  std::optional<DicomExposureIndex> exposureIndex;
  std::string acquisitionDateTimeUtc;  // "YYYYMMDDHHMMSS" (UTC) of the exposure or of the processing
  std::string derivationDescription;   // how the image was made, at most 1024 bytes; may be empty
};

// The SOP class UID of the object WriteDicom writes for `info`.
const char* DicomSopClassUid(const DicomImage& info);

// Writes a Digital X-Ray Image Storage object (the For Presentation or the
// For Processing SOP class, as `info` says). Pixels must be 0..16383.
// Returns "" on success, else a short reason naming the attribute and the rule.
std::string WriteDicom(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                       const DicomImage& info);

}  // namespace tavrix_tool
