// Detector images as DICOM Digital X-Ray objects: a corrected image "for
// processing", an enhanced image "for presentation", uncompressed, 14 bits
// stored in 16.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix_tool {

// The equipment, as DICOM and TIFF files name it.
constexpr const char* kManufacturer = "Tavrix";
constexpr const char* kModelName = "1417 PCI";
// The panel's pixel pitch at the detector surface, in mm.
constexpr double kPixelPitchMm = 0.139;

struct DicomImage {
  bool forPresentation = false;  // false: a corrected image, "FOR PROCESSING"; true: an enhanced image
  double windowCenter = 0, windowWidth = 0;  // presentation images only; width at least 1
  std::string patientName, patientId, studyDescription;  // may be empty (recorded empty)
  std::string acquisitionDateTimeUtc;  // "YYYYMMDDHHMMSS" (UTC) of the exposure or of the processing
  std::string softwareVersion;         // e.g. "1.0.0"
  std::string derivationDescription;   // how the image was made, free text; may be empty
};

// Writes a Digital X-Ray Image Storage object (the For Presentation or the For
// Processing SOP class, as `info` says) with new study, series and instance
// UIDs. Pixels must be 0..16383. Returns "" on success, else a short reason.
std::string WriteDicom(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                       const DicomImage& info);

}  // namespace tavrix_tool
