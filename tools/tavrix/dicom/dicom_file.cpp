#include "dicom/dicom_file.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcostrmb.h>
#include <dcmtk/dcmdata/dcwcache.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrdt.h>
#include <dcmtk/dcmdata/dcvrlo.h>
#include <dcmtk/dcmdata/dcvrpn.h>
#include <dcmtk/dcmdata/dcvrst.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "files/output_files.h"
#include "files/utc_time.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

constexpr uint16_t kBitsStored = 14;
static_assert((1 << kBitsStored) - 1 == tavrix::kMaxPixelValue, "the pixels' range is 14 bits");
// Indirect conversion: a scintillator whose light photodiodes read, as in
// flat panels of this class. SCINTILLATOR is the DICOM term for it.
constexpr const char* kDetectorType = "SCINTILLATOR";
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

// Row spacing \ column spacing at the detector surface, in mm.
std::string ImagerPixelSpacing() {
  const std::string pitch = FormatDecimal(kPixelPitchMm);
  return pitch + "\\" + pitch;
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

// Why the image or its texts cannot be stored, or "".
std::string InputProblem(const uint16_t* image, int32_t width, int32_t height, const DicomImage& info,
                         const std::string& charset) {
  if (image == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    return "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels cannot be stored";
  }
  const size_t count = size_t(width) * size_t(height);
  for (size_t i = 0; i < count; ++i) {
    if (image[i] > tavrix::kMaxPixelValue) {
      return "pixel (" + std::to_string(i / size_t(width)) + ", " + std::to_string(i % size_t(width)) +
             ") is " + std::to_string(image[i]) + ", above the 14-bit range";
    }
  }
  if (info.forPresentation && !(std::isfinite(info.windowCenter) && std::isfinite(info.windowWidth) &&
                                info.windowWidth >= 1)) {
    return "window width must be at least 1";
  }
  std::string reason = CheckTexts(info, charset);
  if (reason.empty()) reason = CheckDateTime(info.acquisitionDateTimeUtc);
  if (!reason.empty()) return reason;
  // Without the dictionary every attribute would be written with an unknown VR.
  if (!dcmDataDict.isDictionaryLoaded()) return "the DICOM data dictionary is not available";
  return "";
}

// Inserts attributes until the first failure, which it keeps.
class Attributes {
 public:
  explicit Attributes(DcmDataset* data) : data_(data) {}
  void Put(const DcmTagKey& tag, const std::string& value) {
    if (status_.good()) status_ = data_->putAndInsertString(tag, value.c_str());
  }
  void Put16(const DcmTagKey& tag, uint16_t value) {
    if (status_.good()) status_ = data_->putAndInsertUint16(tag, value);
  }
  void Empty(const DcmTagKey& tag) {
    if (status_.good()) status_ = data_->insertEmptyElement(tag);
  }
  void Pixels(const uint16_t* image, size_t count) {
    if (status_.good()) status_ = data_->putAndInsertUint16Array(DCM_PixelData, image, static_cast<unsigned long>(count));
  }
  const OFCondition& Status() const { return status_; }

 private:
  DcmDataset* data_;
  OFCondition status_ = EC_Normal;
};

// SOP Common, Patient and General Study. Every date and time is UTC, which
// the offset declares; the unknown ones are present and empty.
void PutInstanceAndStudy(Attributes& a, const DicomImage& info, bool ascii) {
  const std::string date = info.acquisitionDateTimeUtc.substr(0, 8);
  const std::string time = info.acquisitionDateTimeUtc.substr(8);
  a.Put(DCM_SOPClassUID,
        info.forPresentation ? UID_DigitalXRayImageStorageForPresentation : UID_DigitalXRayImageStorageForProcessing);
  a.Put(DCM_SOPInstanceUID, NewUid(SITE_INSTANCE_UID_ROOT));
  if (!ascii) a.Put(DCM_SpecificCharacterSet, kUtf8);
  a.Put(DCM_TimezoneOffsetFromUTC, "+0000");
  a.Put(DCM_InstanceCreationDate, UtcNow("%Y%m%d"));
  a.Put(DCM_InstanceCreationTime, UtcNow("%H%M%S"));
  a.Put(DCM_PatientName, info.patientName);
  a.Put(DCM_PatientID, info.patientId);
  a.Put(DCM_PatientBirthDate, "");
  a.Put(DCM_PatientSex, "");
  a.Put(DCM_StudyInstanceUID, NewUid(SITE_STUDY_UID_ROOT));
  a.Put(DCM_StudyDate, date);
  a.Put(DCM_StudyTime, time);
  a.Put(DCM_ReferringPhysicianName, "");
  a.Put(DCM_StudyID, "");
  a.Put(DCM_AccessionNumber, "");
  if (!info.studyDescription.empty()) a.Put(DCM_StudyDescription, info.studyDescription);
}

// General Series, DX Series, General Equipment, General Image, General
// Acquisition and DX Anatomy Imaged (the anatomy is not known: its sequence
// stays empty).
void PutSeriesAndAcquisition(Attributes& a, const DicomImage& info) {
  const std::string date = info.acquisitionDateTimeUtc.substr(0, 8);
  const std::string time = info.acquisitionDateTimeUtc.substr(8);
  a.Put(DCM_Modality, "DX");
  a.Put(DCM_SeriesInstanceUID, NewUid(SITE_SERIES_UID_ROOT));
  a.Put(DCM_SeriesNumber, "1");
  a.Put(DCM_SeriesDate, date);
  a.Put(DCM_SeriesTime, time);
  a.Put(DCM_PresentationIntentType, info.forPresentation ? "FOR PRESENTATION" : "FOR PROCESSING");
  a.Put(DCM_Manufacturer, kManufacturer);
  a.Put(DCM_ManufacturerModelName, kModelName);
  a.Put(DCM_SoftwareVersions, info.softwareVersion);
  a.Put(DCM_InstanceNumber, "1");
  a.Put(DCM_PatientOrientation, kPatientOrientation);
  a.Put(DCM_ContentDate, date);
  a.Put(DCM_ContentTime, time);
  a.Put(DCM_AcquisitionDateTime, info.acquisitionDateTimeUtc);
  if (!info.derivationDescription.empty()) a.Put(DCM_DerivationDescription, info.derivationDescription);
  a.Put(DCM_ImageLaterality, kImageLaterality);
  a.Empty(DCM_AnatomicRegionSequence);
}

// DX Image (with Image Pixel), VOI LUT, DX Detector and Acquisition Context.
// The corrected image is what the panel measured; the enhanced one is derived
// from it for display, starting from a logarithmic mapping.
void PutImage(Attributes& a, const uint16_t* image, int32_t width, int32_t height, const DicomImage& info) {
  a.Put(DCM_ImageType, info.forPresentation ? "DERIVED\\PRIMARY" : "ORIGINAL\\PRIMARY");
  a.Put16(DCM_SamplesPerPixel, 1);
  a.Put(DCM_PhotometricInterpretation, "MONOCHROME2");
  a.Put16(DCM_Rows, uint16_t(height));
  a.Put16(DCM_Columns, uint16_t(width));
  a.Put16(DCM_BitsAllocated, 16);
  a.Put16(DCM_BitsStored, kBitsStored);
  a.Put16(DCM_HighBit, kBitsStored - 1);
  a.Put16(DCM_PixelRepresentation, 0);
  a.Put(DCM_PixelIntensityRelationship, info.forPresentation ? "LOG" : "LIN");
  a.Put(DCM_PixelIntensityRelationshipSign, kIntensitySign);
  a.Put(DCM_RescaleIntercept, "0");
  a.Put(DCM_RescaleSlope, "1");
  a.Put(DCM_RescaleType, "US");
  a.Put(DCM_LossyImageCompression, "00");
  a.Put(DCM_BurnedInAnnotation, "NO");
  // The shape MONOCHROME2 calls for: higher values display brighter.
  a.Put(DCM_PresentationLUTShape, "IDENTITY");
  if (info.forPresentation) {
    a.Put(DCM_WindowCenter, FormatDecimal(info.windowCenter));
    a.Put(DCM_WindowWidth, FormatDecimal(info.windowWidth));
  }
  a.Put(DCM_DetectorType, kDetectorType);
  a.Put(DCM_ImagerPixelSpacing, ImagerPixelSpacing());
  a.Empty(DCM_AcquisitionContextSequence);
  a.Pixels(image, size_t(width) * size_t(height));
}

// DCMTK opens files by narrow name, which on Windows is read in the ANSI code
// page, not UTF-8: the file is encoded in memory, as saveFile would write it,
// and written through the tool's own file unit.
std::string SaveFile(DcmFileFormat& file, const std::string& path) {
  std::vector<char> bytes;
  std::vector<char> chunk(1 << 20);
  DcmOutputBufferStream stream(chunk.data(), offile_off_t(chunk.size()));
  DcmWriteCache cache;
  const auto take = [&] {
    void* buffer = nullptr;
    offile_off_t length = 0;
    stream.flushBuffer(buffer, length);
    bytes.insert(bytes.end(), static_cast<char*>(buffer), static_cast<char*>(buffer) + length);
  };
  file.transferInit();
  OFCondition status;
  do {
    status = file.write(stream, EXS_LittleEndianExplicit, EET_UndefinedLength, &cache, EGL_recalcGL, EPD_noChange,
                        0, 0, 0, EWM_fileformat);
    take();
  } while (status == EC_StreamNotifyClient);
  file.transferEnd();
  if (status.bad()) return std::string("writing failed: ") + status.text();
  stream.flush();
  take();
  return WriteBytes(path, bytes.data(), bytes.size());
}

}  // namespace

std::string WriteDicom(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                       const DicomImage& info) {
  const bool ascii = IsAscii(info.patientName) && IsAscii(info.patientId) && IsAscii(info.studyDescription) &&
                     IsAscii(info.derivationDescription);
  const std::string problem = InputProblem(image, width, height, info, ascii ? "" : kUtf8);
  if (!problem.empty()) return problem;
  DcmFileFormat file;
  Attributes attributes(file.getDataset());
  PutInstanceAndStudy(attributes, info, ascii);
  PutSeriesAndAcquisition(attributes, info);
  PutImage(attributes, image, width, height, info);
  if (attributes.Status().bad()) return std::string("building the DICOM object failed: ") + attributes.Status().text();
  return SaveFile(file, path);
}

}  // namespace tavrix_tool
