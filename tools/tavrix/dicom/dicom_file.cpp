#include "dicom/dicom_file.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrdt.h>
#include <dcmtk/dcmdata/dcvrlo.h>
#include <dcmtk/dcmdata/dcvrpn.h>
#include <dcmtk/dcmdata/dcvrst.h>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavrix_tool {

namespace {

constexpr uint16_t kBitsStored = 14;
constexpr uint16_t kMaxPixelValue = (1u << kBitsStored) - 1;
// Row spacing \ column spacing at the detector surface, in mm.
constexpr const char* kImagerPixelSpacing = "0.139\\0.139";
// Indirect conversion: a scintillator whose light photodiodes read, as in
// flat panels of this class. SCINTILLATOR is the DICOM term for it.
constexpr const char* kDetectorType = "SCINTILLATOR";
constexpr const char* kManufacturer = "Tavrix";
constexpr const char* kModelName = "1417 PCI";
// Pixel values rise with the X-ray intensity at the panel.
constexpr const char* kIntensitySign = "1";
// The whole panel is imaged at once; what lies on it is not recorded, so the
// part is declared unpaired.
constexpr const char* kImageLaterality = "U";
// Rows toward the patient's left, columns toward the feet: a radiograph as it
// is conventionally viewed. The panel itself cannot know how the patient lay.
constexpr const char* kPatientOrientation = "L\\F";
constexpr const char* kUtf8 = "ISO_IR 192";

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string FormatDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8g", value);  // at most 16 characters, as DS allows
  return text;
}

std::string CurrentUtc(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

// Empty when every text attribute fits its value representation.
std::string CheckTexts(const DicomImage& info, const std::string& charset) {
  struct Check {
    const char* what;
    OFCondition status;
  };
  const Check checks[] = {
      {"patient name", DcmPersonName::checkStringValue(info.patientName.c_str(), "1", charset.c_str())},
      {"patient ID", DcmLongString::checkStringValue(info.patientId.c_str(), "1", charset.c_str())},
      {"study description",
       DcmLongString::checkStringValue(info.studyDescription.c_str(), "1", charset.c_str())},
      {"software version", DcmLongString::checkStringValue(info.softwareVersion.c_str(), "1")},
      {"derivation description",
       DcmShortText::checkStringValue(info.derivationDescription.c_str(), charset.c_str())},
  };
  for (const Check& check : checks) {
    if (check.status.bad()) return std::string("unusable ") + check.what + ": " + check.status.text();
  }
  return "";
}

std::string CheckDateTime(const std::string& dateTime) {
  if (dateTime.size() != 14 || dateTime.find_first_not_of("0123456789") != std::string::npos ||
      DcmDateTime::checkStringValue(dateTime.c_str(), "1").bad()) {
    return "acquisition date and time \"" + dateTime + "\" is not YYYYMMDDHHMMSS";
  }
  return "";
}

std::string NewUid(const char* root) {
  char uid[100];
  return dcmGenerateUniqueIdentifier(uid, root);
}

}  // namespace

std::string WriteDicom(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                       const DicomImage& info) {
  if (image == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    return "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels cannot be stored";
  }
  const size_t count = size_t(width) * size_t(height);
  for (size_t i = 0; i < count; ++i) {
    if (image[i] > kMaxPixelValue) {
      return "pixel (" + std::to_string(i / size_t(width)) + ", " + std::to_string(i % size_t(width)) +
             ") is " + std::to_string(image[i]) + ", above the 14-bit range";
    }
  }
  if (info.forPresentation && !(std::isfinite(info.windowCenter) && std::isfinite(info.windowWidth) &&
                                info.windowWidth >= 1)) {
    return "window width must be at least 1";
  }
  const bool ascii = IsAscii(info.patientName) && IsAscii(info.patientId) && IsAscii(info.studyDescription) &&
                     IsAscii(info.derivationDescription);
  const std::string charset = ascii ? "" : kUtf8;
  std::string reason = CheckTexts(info, charset);
  if (reason.empty()) reason = CheckDateTime(info.acquisitionDateTimeUtc);
  if (!reason.empty()) return reason;
  // Without the dictionary every attribute would be written with an unknown VR.
  if (!dcmDataDict.isDictionaryLoaded()) return "the DICOM data dictionary is not available";

  const std::string date = info.acquisitionDateTimeUtc.substr(0, 8);
  const std::string time = info.acquisitionDateTimeUtc.substr(8);
  const char* sopClass =
      info.forPresentation ? UID_DigitalXRayImageStorageForPresentation : UID_DigitalXRayImageStorageForProcessing;

  DcmFileFormat file;
  DcmDataset* data = file.getDataset();
  OFCondition status = EC_Normal;
  auto put = [&](const DcmTagKey& tag, const std::string& value) {
    if (status.good()) status = data->putAndInsertString(tag, value.c_str());
  };
  auto put16 = [&](const DcmTagKey& tag, uint16_t value) {
    if (status.good()) status = data->putAndInsertUint16(tag, value);
  };

  // SOP Common. Every date and time below is UTC, which the offset declares.
  put(DCM_SOPClassUID, sopClass);
  put(DCM_SOPInstanceUID, NewUid(SITE_INSTANCE_UID_ROOT));
  if (!ascii) put(DCM_SpecificCharacterSet, kUtf8);
  put(DCM_TimezoneOffsetFromUTC, "+0000");
  put(DCM_InstanceCreationDate, CurrentUtc("%Y%m%d"));
  put(DCM_InstanceCreationTime, CurrentUtc("%H%M%S"));

  // Patient and General Study: the unknown ones are present and empty.
  put(DCM_PatientName, info.patientName);
  put(DCM_PatientID, info.patientId);
  put(DCM_PatientBirthDate, "");
  put(DCM_PatientSex, "");
  put(DCM_StudyInstanceUID, NewUid(SITE_STUDY_UID_ROOT));
  put(DCM_StudyDate, date);
  put(DCM_StudyTime, time);
  put(DCM_ReferringPhysicianName, "");
  put(DCM_StudyID, "");
  put(DCM_AccessionNumber, "");
  if (!info.studyDescription.empty()) put(DCM_StudyDescription, info.studyDescription);

  // General Series and DX Series.
  put(DCM_Modality, "DX");
  put(DCM_SeriesInstanceUID, NewUid(SITE_SERIES_UID_ROOT));
  put(DCM_SeriesNumber, "1");
  put(DCM_SeriesDate, date);
  put(DCM_SeriesTime, time);
  put(DCM_PresentationIntentType, info.forPresentation ? "FOR PRESENTATION" : "FOR PROCESSING");

  // General Equipment.
  put(DCM_Manufacturer, kManufacturer);
  put(DCM_ManufacturerModelName, kModelName);
  put(DCM_SoftwareVersions, info.softwareVersion);

  // General Image and General Acquisition.
  put(DCM_InstanceNumber, "1");
  put(DCM_PatientOrientation, kPatientOrientation);
  put(DCM_ContentDate, date);
  put(DCM_ContentTime, time);
  put(DCM_AcquisitionDateTime, info.acquisitionDateTimeUtc);
  if (!info.derivationDescription.empty()) put(DCM_DerivationDescription, info.derivationDescription);

  // DX Anatomy Imaged: the anatomy is not known, its sequence stays empty.
  put(DCM_ImageLaterality, kImageLaterality);
  if (status.good()) status = data->insertEmptyElement(DCM_AnatomicRegionSequence);

  // DX Image (with Image Pixel). The corrected image is what the panel
  // measured; the enhanced one is derived from it for display.
  put(DCM_ImageType, info.forPresentation ? "DERIVED\\PRIMARY" : "ORIGINAL\\PRIMARY");
  put16(DCM_SamplesPerPixel, 1);
  put(DCM_PhotometricInterpretation, "MONOCHROME2");
  put16(DCM_Rows, uint16_t(height));
  put16(DCM_Columns, uint16_t(width));
  put16(DCM_BitsAllocated, 16);
  put16(DCM_BitsStored, kBitsStored);
  put16(DCM_HighBit, kBitsStored - 1);
  put16(DCM_PixelRepresentation, 0);
  // The enhancement starts from a logarithmic mapping of the corrected image.
  put(DCM_PixelIntensityRelationship, info.forPresentation ? "LOG" : "LIN");
  put(DCM_PixelIntensityRelationshipSign, kIntensitySign);
  put(DCM_RescaleIntercept, "0");
  put(DCM_RescaleSlope, "1");
  put(DCM_RescaleType, "US");
  put(DCM_LossyImageCompression, "00");
  put(DCM_BurnedInAnnotation, "NO");
  // The shape MONOCHROME2 calls for: higher values display brighter.
  put(DCM_PresentationLUTShape, "IDENTITY");
  if (info.forPresentation) {
    // VOI LUT.
    put(DCM_WindowCenter, FormatDecimal(info.windowCenter));
    put(DCM_WindowWidth, FormatDecimal(info.windowWidth));
  }

  // DX Detector.
  put(DCM_DetectorType, kDetectorType);
  put(DCM_ImagerPixelSpacing, kImagerPixelSpacing);

  // Acquisition Context: nothing is known of it.
  if (status.good()) status = data->insertEmptyElement(DCM_AcquisitionContextSequence);

  if (status.good()) status = data->putAndInsertUint16Array(DCM_PixelData, image, static_cast<unsigned long>(count));
  if (status.bad()) return std::string("building the DICOM object failed: ") + status.text();

  status = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
  if (status.bad()) return std::string("writing failed: ") + status.text();
  return "";
}

}  // namespace tavrix_tool
