#include "dicom/dicom_file.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcostrmb.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcwcache.h>
#include <dcmtk/oflog/oflog.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "dicom/coded_terms.h"
#include "dicom/uid_scheme.h"
#include "dicom/value_checks.h"
#include "files/output_files.h"
#include "system/utc_time.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

std::string FormatDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8g", value);  // at most 16 characters, as DS allows
  return text;
}

namespace {

constexpr uint16_t kBitsStored = 14;
constexpr uint16_t kMaxPixelValue = (1u << kBitsStored) - 1;
static_assert(kMaxPixelValue == tavrix::kMaxPixelValue, "the pixels' range is 14 bits");
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
constexpr E_TransferSyntax kTransferSyntax = EXS_LittleEndianExplicit;
// Why the enhanced image refers to the corrected one: DICOM's code for a
// source image of an image processing operation.
constexpr const char* kSourcePurposeCode = "121322";
constexpr const char* kSourcePurposeScheme = "DCM";
constexpr const char* kSourcePurposeMeaning = "Source image for image processing operation";

// Row spacing \ column spacing at the detector surface, in mm.
std::string ImagerPixelSpacing() {
  const std::string pitch = FormatDecimal(kPixelPitchMm);
  return pitch + "\\" + pitch;
}

// One text attribute: its tag, its keyword (named in a refusal), its VR
// and its value.
struct TextAttribute {
  DcmTagKey tag;
  const char* keyword;
  Vr vr;
  std::string value;
};

std::vector<TextAttribute> PatientStudyTexts(const DicomPatientStudy& exam) {
  return {
      {DCM_PatientName, "PatientName", Vr::kPN, exam.patientName},
      {DCM_PatientID, "PatientID", Vr::kLO, exam.patientId},
      {DCM_PatientBirthDate, "PatientBirthDate", Vr::kDA, exam.patientBirthDate},
      {DCM_PatientSex, "PatientSex", Vr::kCS, exam.patientSex},
      {DCM_StudyInstanceUID, "StudyInstanceUID", Vr::kUI, exam.studyInstanceUid},
      {DCM_StudyID, "StudyID", Vr::kSH, exam.studyId},
      {DCM_AccessionNumber, "AccessionNumber", Vr::kSH, exam.accessionNumber},
      {DCM_ReferringPhysicianName, "ReferringPhysicianName", Vr::kPN, exam.referringPhysicianName},
      {DCM_StudyDescription, "StudyDescription", Vr::kLO, exam.studyDescription},
      {DCM_OperatorsName, "OperatorsName", Vr::kPN, exam.operatorName},
      {DCM_BodyPartExamined, "BodyPartExamined", Vr::kCS, exam.bodyPartExamined},
      {DCM_ViewPosition, "ViewPosition", Vr::kCS, exam.viewPosition},
  };
}

std::vector<TextAttribute> EquipmentTexts(const DicomEquipment& equipment) {
  return {
      {DCM_Manufacturer, "Manufacturer", Vr::kLO, equipment.manufacturer},
      {DCM_ManufacturerModelName, "ManufacturerModelName", Vr::kLO, equipment.modelName},
      {DCM_StationName, "StationName", Vr::kSH, equipment.stationName},
      {DCM_DeviceSerialNumber, "DeviceSerialNumber", Vr::kLO, equipment.deviceSerialNumber},
      {DCM_DetectorID, "DetectorID", Vr::kSH, equipment.detectorId},
      {DCM_SoftwareVersions, "SoftwareVersions", Vr::kLO, equipment.softwareVersion},
  };
}

std::vector<TextAttribute> RequestTexts(const DicomPatientStudy& exam) {
  return {
      {DCM_RequestedProcedureID, "RequestedProcedureID", Vr::kSH, exam.requestedProcedureId},
      {DCM_RequestedProcedureDescription, "RequestedProcedureDescription", Vr::kLO,
       exam.requestedProcedureDescription},
      {DCM_ScheduledProcedureStepID, "ScheduledProcedureStepID", Vr::kSH, exam.scheduledStepId},
      {DCM_ScheduledProcedureStepDescription, "ScheduledProcedureStepDescription", Vr::kLO,
       exam.scheduledStepDescription},
  };
}

std::vector<TextAttribute> ImageTexts(const DicomImage& info) {
  return {
      {DCM_SeriesInstanceUID, "SeriesInstanceUID", Vr::kUI, info.seriesInstanceUid},
      {DCM_SOPInstanceUID, "SOPInstanceUID", Vr::kUI, info.sopInstanceUid},
      {DCM_ReferencedSOPClassUID, "ReferencedSOPClassUID", Vr::kUI, info.sourceSopClassUid},
      {DCM_ReferencedSOPInstanceUID, "ReferencedSOPInstanceUID", Vr::kUI, info.sourceSopInstanceUid},
      {DCM_DerivationDescription, "DerivationDescription", Vr::kST, info.derivationDescription},
  };
}

std::vector<TextAttribute> AllTexts(const DicomImage& info) {
  std::vector<TextAttribute> all;
  for (const std::vector<TextAttribute>& part : {PatientStudyTexts(info.exam), EquipmentTexts(info.equipment),
                                                 RequestTexts(info.exam), ImageTexts(info)})
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string CheckDateTime(const std::string& what, const std::string& dateTime) {
  const std::string problem = "\"" + dateTime + "\" is not YYYYMMDDHHMMSS";
  if (dateTime.size() != 14 || dateTime.find_first_not_of("0123456789") != std::string::npos)
    return what + ": " + problem;
  if (!CheckValue(what, Vr::kDA, dateTime.substr(0, 8)).empty()) return what + ": " + problem;
  const int hours = std::stoi(dateTime.substr(8, 2)), minutes = std::stoi(dateTime.substr(10, 2)),
            seconds = std::stoi(dateTime.substr(12, 2));
  if (hours > 23 || minutes > 59 || seconds > 60) return what + ": " + problem;
  return "";
}

std::string CheckImage(const uint16_t* image, int32_t width, int32_t height) {
  if (image == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535)
    return "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels cannot be stored";
  const size_t count = size_t(width) * size_t(height);
  for (size_t i = 0; i < count; ++i) {
    if (image[i] > kMaxPixelValue) {
      return "pixel (" + std::to_string(i / size_t(width)) + ", " + std::to_string(i % size_t(width)) + ") is " +
             std::to_string(image[i]) + ", above the 14-bit range";
    }
  }
  return "";
}

std::string CheckInfo(const DicomImage& info) {
  for (const TextAttribute& text : AllTexts(info)) {
    const std::string problem = CheckValue(text.keyword, text.vr, text.value);
    if (!problem.empty()) return problem;
  }
  for (const TextAttribute& required :
       {TextAttribute{DCM_StudyInstanceUID, "StudyInstanceUID", Vr::kUI, info.exam.studyInstanceUid},
        TextAttribute{DCM_SeriesInstanceUID, "SeriesInstanceUID", Vr::kUI, info.seriesInstanceUid},
        TextAttribute{DCM_SOPInstanceUID, "SOPInstanceUID", Vr::kUI, info.sopInstanceUid}}) {
    if (required.value.empty()) return std::string(required.keyword) + ": missing";
  }
  if (info.sourceSopClassUid.empty() != info.sourceSopInstanceUid.empty())
    return "the source image needs both its SOP class and its instance UID";
  if (info.window && !(std::isfinite(info.window->center) && std::isfinite(info.window->width) &&
                       info.window->width >= 1))
    return "window width must be at least 1";
  if (info.seriesNumber < 1 || info.instanceNumber < 1) return "series and instance numbers start at 1";
  if (info.detectorTemperature && !std::isfinite(*info.detectorTemperature)) return "DetectorTemperature: not a number";
  std::string problem = CheckDateTime("AcquisitionDateTime", info.acquisitionDateTimeUtc);
  if (problem.empty()) problem = CheckDateTime("StudyDate and StudyTime", info.exam.studyDateTimeUtc);
  return problem;
}

bool AnyNeedsUtf8(const DicomImage& info) {
  for (const TextAttribute& text : AllTexts(info))
    if (NeedsUtf8(text.value)) return true;
  return false;
}

// Builds the dataset of `info` in `data`; the first failure in `status`.
class DatasetBuilder {
 public:
  explicit DatasetBuilder(DcmItem* data) : data_(data) {}
  void Put(const DcmTagKey& tag, const std::string& value) {
    if (status_.good()) status_ = data_->putAndInsertString(tag, value.c_str());
  }
  void PutIfGiven(const DcmTagKey& tag, const std::string& value) {
    if (!value.empty()) Put(tag, value);
  }
  void Put16(const DcmTagKey& tag, uint16_t value) {
    if (status_.good()) status_ = data_->putAndInsertUint16(tag, value);
  }
  void PutEmptySequence(const DcmTagKey& tag) {
    if (status_.good()) status_ = data_->insertEmptyElement(tag);
  }
  // Sequence `tag` with one item coding `term`, or empty without a term.
  void PutCode(const DcmTagKey& tag, const CodedTerm* term) {
    if (term == nullptr) return PutEmptySequence(tag);
    if (DcmItem* item = NewItem(tag)) {
      DatasetBuilder code(item);
      code.Put(DCM_CodeValue, term->code);
      code.Put(DCM_CodingSchemeDesignator, kSnomedScheme);
      code.Put(DCM_CodeMeaning, term->meaning);
      Merge(code.Status());
    }
  }
  // A new item of sequence `tag` to fill, or null after a failure.
  DcmItem* NewItem(const DcmTagKey& tag) {
    DcmItem* item = nullptr;
    if (status_.good()) status_ = data_->findOrCreateSequenceItem(tag, item, -2);
    return status_.good() ? item : nullptr;
  }
  void Merge(const OFCondition& status) {
    if (status_.good()) status_ = status;
  }
  const OFCondition& Status() const { return status_; }

 private:
  DcmItem* data_;
  OFCondition status_ = EC_Normal;
};

void PutPatientAndStudy(DatasetBuilder& put, const DicomPatientStudy& exam) {
  // Patient and General Study: the unknown ones of type 2 present and empty.
  put.Put(DCM_PatientName, exam.patientName);
  put.Put(DCM_PatientID, exam.patientId);
  put.Put(DCM_PatientBirthDate, exam.patientBirthDate);
  put.Put(DCM_PatientSex, exam.patientSex);
  put.Put(DCM_StudyInstanceUID, exam.studyInstanceUid);
  put.Put(DCM_StudyDate, exam.studyDateTimeUtc.substr(0, 8));
  put.Put(DCM_StudyTime, exam.studyDateTimeUtc.substr(8));
  put.Put(DCM_ReferringPhysicianName, exam.referringPhysicianName);
  put.Put(DCM_StudyID, exam.studyId);
  put.Put(DCM_AccessionNumber, exam.accessionNumber);
  put.PutIfGiven(DCM_StudyDescription, exam.studyDescription);
}

void PutRequest(DatasetBuilder& put, const DicomPatientStudy& exam) {
  if (exam.requestedProcedureId.empty() && exam.scheduledStepId.empty()) return;
  DcmItem* item = put.NewItem(DCM_RequestAttributesSequence);
  if (item == nullptr) return;
  DatasetBuilder request(item);
  request.PutIfGiven(DCM_AccessionNumber, exam.accessionNumber);
  request.Put(DCM_RequestedProcedureID, exam.requestedProcedureId);
  request.PutIfGiven(DCM_RequestedProcedureDescription, exam.requestedProcedureDescription);
  request.Put(DCM_ScheduledProcedureStepID, exam.scheduledStepId);
  request.PutIfGiven(DCM_ScheduledProcedureStepDescription, exam.scheduledStepDescription);
  put.Merge(request.Status());
}

void PutSourceImage(DatasetBuilder& put, const DicomImage& info) {
  if (info.sourceSopInstanceUid.empty()) return;
  DcmItem* item = put.NewItem(DCM_SourceImageSequence);
  if (item == nullptr) return;
  DatasetBuilder source(item);
  source.Put(DCM_ReferencedSOPClassUID, info.sourceSopClassUid);
  source.Put(DCM_ReferencedSOPInstanceUID, info.sourceSopInstanceUid);
  if (DcmItem* code = source.NewItem(DCM_PurposeOfReferenceCodeSequence)) {
    DatasetBuilder purpose(code);
    purpose.Put(DCM_CodeValue, kSourcePurposeCode);
    purpose.Put(DCM_CodingSchemeDesignator, kSourcePurposeScheme);
    purpose.Put(DCM_CodeMeaning, kSourcePurposeMeaning);
    source.Merge(purpose.Status());
  }
  put.Merge(source.Status());
}

void PutEquipment(DatasetBuilder& put, const DicomEquipment& equipment) {
  put.Put(DCM_Manufacturer, equipment.manufacturer);
  put.PutIfGiven(DCM_ManufacturerModelName, equipment.modelName);
  put.PutIfGiven(DCM_StationName, equipment.stationName);
  put.PutIfGiven(DCM_DeviceSerialNumber, equipment.deviceSerialNumber);
  put.PutIfGiven(DCM_SoftwareVersions, equipment.softwareVersion);
}

void PutPixelModule(DatasetBuilder& put, const DicomImage& info, int32_t width, int32_t height) {
  // DX Image (with Image Pixel). The corrected image is what the panel
  // measured; the enhanced one is derived from it for display.
  put.Put(DCM_ImageType, info.forPresentation ? "DERIVED\\PRIMARY" : "ORIGINAL\\PRIMARY");
  put.Put16(DCM_SamplesPerPixel, 1);
  put.Put(DCM_PhotometricInterpretation, "MONOCHROME2");
  put.Put16(DCM_Rows, uint16_t(height));
  put.Put16(DCM_Columns, uint16_t(width));
  put.Put16(DCM_BitsAllocated, 16);
  put.Put16(DCM_BitsStored, kBitsStored);
  put.Put16(DCM_HighBit, kBitsStored - 1);
  put.Put16(DCM_PixelRepresentation, 0);
  // The enhancement starts from a logarithmic mapping of the corrected image.
  put.Put(DCM_PixelIntensityRelationship, info.forPresentation ? "LOG" : "LIN");
  put.Put(DCM_PixelIntensityRelationshipSign, kIntensitySign);
  put.Put(DCM_RescaleIntercept, "0");
  put.Put(DCM_RescaleSlope, "1");
  put.Put(DCM_RescaleType, "US");
  put.Put(DCM_LossyImageCompression, "00");
  put.Put(DCM_BurnedInAnnotation, "NO");
  // The shape MONOCHROME2 calls for: higher values display brighter.
  put.Put(DCM_PresentationLUTShape, "IDENTITY");
  if (info.window) {
    // VOI LUT.
    put.Put(DCM_WindowCenter, FormatDecimal(info.window->center));
    put.Put(DCM_WindowWidth, FormatDecimal(info.window->width));
  }
}

void PutDetector(DatasetBuilder& put, const DicomImage& info) {
  put.Put(DCM_DetectorType, kDetectorType);
  put.PutIfGiven(DCM_DetectorID, info.equipment.detectorId);
  if (info.detectorTemperature) put.Put(DCM_DetectorTemperature, FormatDecimal(*info.detectorTemperature));
  put.Put(DCM_ImagerPixelSpacing, ImagerPixelSpacing());
  if (info.exposureIndex) {
    put.Put(DCM_ExposureIndex, FormatDecimal(info.exposureIndex->exposureIndex));
    if (info.exposureIndex->targetExposureIndex)
      put.Put(DCM_TargetExposureIndex, FormatDecimal(*info.exposureIndex->targetExposureIndex));
    if (info.exposureIndex->deviationIndex)
      put.Put(DCM_DeviationIndex, FormatDecimal(*info.exposureIndex->deviationIndex));
  }
}

void PutDataset(DatasetBuilder& put, const DicomImage& info, int32_t width, int32_t height) {
  const std::string& acquired = info.acquisitionDateTimeUtc;
  // SOP Common. Every date and time below is UTC, which the offset declares.
  put.Put(DCM_SOPClassUID, DicomSopClassUid(info));
  put.Put(DCM_SOPInstanceUID, info.sopInstanceUid);
  if (AnyNeedsUtf8(info)) put.Put(DCM_SpecificCharacterSet, kUtf8);
  put.Put(DCM_TimezoneOffsetFromUTC, "+0000");
  put.Put(DCM_InstanceCreationDate, UtcNow("%Y%m%d"));
  put.Put(DCM_InstanceCreationTime, UtcNow("%H%M%S"));
  PutPatientAndStudy(put, info.exam);

  // General Series, DX Series and DX Positioning.
  put.Put(DCM_Modality, "DX");
  put.Put(DCM_SeriesInstanceUID, info.seriesInstanceUid);
  put.Put(DCM_SeriesNumber, std::to_string(info.seriesNumber));
  // What a PACS lists for the series: the two series of a run told apart.
  put.Put(DCM_SeriesDescription, info.forPresentation ? "Enhanced, for presentation" : "Corrected, for processing");
  put.Put(DCM_SeriesDate, acquired.substr(0, 8));
  put.Put(DCM_SeriesTime, acquired.substr(8));
  put.PutIfGiven(DCM_OperatorsName, info.exam.operatorName);
  put.PutIfGiven(DCM_BodyPartExamined, info.exam.bodyPartExamined);
  PutRequest(put, info.exam);
  put.Put(DCM_PresentationIntentType, info.forPresentation ? "FOR PRESENTATION" : "FOR PROCESSING");
  if (!info.exam.viewPosition.empty()) {
    put.Put(DCM_ViewPosition, info.exam.viewPosition);
    // DX Positioning, present with the view: its type 2 positioner unknown.
    put.Put(DCM_PositionerType, "");
    put.PutCode(DCM_ViewCodeSequence, FindTerm(ViewPositionTerms(), info.exam.viewPosition));
  }

  PutEquipment(put, info.equipment);

  // General Image and General Acquisition.
  put.Put(DCM_InstanceNumber, std::to_string(info.instanceNumber));
  put.Put(DCM_PatientOrientation, kPatientOrientation);
  put.Put(DCM_ContentDate, acquired.substr(0, 8));
  put.Put(DCM_ContentTime, acquired.substr(8));
  put.Put(DCM_AcquisitionDateTime, acquired);
  put.PutIfGiven(DCM_DerivationDescription, info.derivationDescription);
  PutSourceImage(put, info);

  // DX Anatomy Imaged: empty when the body part is not known.
  put.Put(DCM_ImageLaterality, kImageLaterality);
  put.PutCode(DCM_AnatomicRegionSequence, FindTerm(BodyPartTerms(), info.exam.bodyPartExamined));

  PutPixelModule(put, info, width, height);
  PutDetector(put, info);

  // Acquisition Context: nothing is known of it.
  put.PutEmptySequence(DCM_AcquisitionContextSequence);
}

// The file meta information as DCMTK builds it, then naming this tool as
// the writer instead of DCMTK, and the group length counted again.
OFCondition PutMetaInformation(DcmFileFormat& file) {
  OFCondition status = file.validateMetaInfo(kTransferSyntax);
  DcmMetaInfo* meta = file.getMetaInfo();
  if (status.good()) status = meta->putAndInsertString(DCM_ImplementationClassUID, kImplementationClassUid);
  if (status.good()) status = meta->putAndInsertString(DCM_ImplementationVersionName, kImplementationVersionName);
  if (status.good()) status = meta->computeGroupLengthAndPadding(EGL_withGL, EPD_noChange, kTransferSyntax);
  return status;
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
  // Saving a meta header as it was built draws DCMTK's warning; meant here.
  OFLogger logger = OFLog::getLogger("dcmtk.dcmdata");
  const auto level = static_cast<OFLogger::LogLevel>(logger.getLogLevel());
  logger.setLogLevel(OFLogger::ERROR_LOG_LEVEL);
  file.transferInit();
  OFCondition status;
  do {
    status = file.write(stream, kTransferSyntax, EET_ExplicitLength, &cache, EGL_recalcGL, EPD_noChange, 0, 0, 0,
                        EWM_dontUpdateMeta);
    take();
  } while (status == EC_StreamNotifyClient);
  file.transferEnd();
  logger.setLogLevel(level);
  if (status.bad()) return std::string("writing failed: ") + status.text();
  stream.flush();
  take();
  return WriteBytes(path, bytes.data(), bytes.size());
}

}  // namespace

std::string CheckRequestValues(const DicomPatientStudy& exam, const std::string& source) {
  std::vector<TextAttribute> texts = RequestTexts(exam);
  for (const TextAttribute& text : PatientStudyTexts(exam))
    if (text.tag == DCM_StudyInstanceUID) texts.insert(texts.begin(), text);
  for (const TextAttribute& text : texts) {
    const std::string problem = CheckValue(source + text.keyword, text.vr, text.value);
    if (!problem.empty()) return problem;
  }
  return "";
}

const char* DicomSopClassUid(const DicomImage& info) {
  return info.forPresentation ? UID_DigitalXRayImageStorageForPresentation : UID_DigitalXRayImageStorageForProcessing;
}

std::string WriteDicom(const std::string& path, const uint16_t* image, int32_t width, int32_t height,
                       const DicomImage& info) {
  std::string reason = CheckImage(image, width, height);
  if (reason.empty()) reason = CheckInfo(info);
  if (!reason.empty()) return reason;
  // Without the dictionary every attribute would be written with an unknown VR.
  if (!dcmDataDict.isDictionaryLoaded()) return "the DICOM data dictionary is not available";

  DcmFileFormat file;
  DatasetBuilder put(file.getDataset());
  PutDataset(put, info, width, height);
  OFCondition status = put.Status();
  if (status.good()) {
    const size_t count = size_t(width) * size_t(height);
    status = file.getDataset()->putAndInsertUint16Array(DCM_PixelData, image, static_cast<unsigned long>(count));
  }
  if (status.good()) status = PutMetaInformation(file);
  if (status.bad()) return std::string("building the DICOM object failed: ") + status.text();

  return SaveFile(file, path);
}

}  // namespace tavrix_tool
