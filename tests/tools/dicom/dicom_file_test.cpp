#include "dicom/dicom_file.h"

#include "dicom/uid_scheme.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrix_tool {
namespace {

constexpr int32_t kSize = 3072;

class DicomFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dicom_file_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // Every 14-bit value, and the two bytes of each pixel differ in most
    // pixels, so a swapped or shifted pixel shows.
    image_.resize(size_t(kSize) * kSize);
    for (size_t i = 0; i < image_.size(); ++i) image_[i] = uint16_t((i * 7) % 16384);
    info_.exam.patientName = "Doe^Jane";
    info_.exam.patientId = "P-17";
    info_.exam.studyDescription = "Chest";
    info_.exam.studyInstanceUid = "2.25.1";
    info_.exam.studyDateTimeUtc = "20240301120000";
    info_.seriesInstanceUid = "2.25.2";
    info_.sopInstanceUid = "2.25.3";
    info_.equipment.manufacturer = "Tavrix";
    info_.acquisitionDateTimeUtc = "20240301120305";
    info_.equipment.softwareVersion = "1.0.0";
    info_.window = VoiWindow{8191.5, 4000};
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes `info` and loads the file back into `file`.
  void WriteAndLoad(const DicomImage& info, const std::string& name, DcmFileFormat& file) {
    const std::string path = dir_ + "/" + name;
    ASSERT_EQ(WriteDicom(path, image_.data(), kSize, kSize, info), "");
    ASSERT_TRUE(file.loadFile(path.c_str()).good());
  }

  static std::string Text(DcmItem* data, const DcmTagKey& tag) {
    OFString value;
    EXPECT_TRUE(data->findAndGetOFStringArray(tag, value).good()) << DcmTag(tag).getTagName();
    return value.c_str();
  }

  static uint16_t Number(DcmDataset* data, const DcmTagKey& tag) {
    Uint16 value = 0;
    EXPECT_TRUE(data->findAndGetUint16(tag, value).good()) << DcmTag(tag).getTagName();
    return value;
  }

  std::string dir_;
  std::vector<uint16_t> image_;
  DicomImage info_;
};

TEST_F(DicomFileTest, BothKindsKeepPixelsAndDescribeThem) {
  for (bool presentation : {false, true}) {
    SCOPED_TRACE(presentation ? "for presentation" : "for processing");
    info_.forPresentation = presentation;
    info_.window = presentation ? std::optional<VoiWindow>(VoiWindow{8191.5, 4000}) : std::nullopt;
    DcmFileFormat file;
    WriteAndLoad(info_, presentation ? "enhanced.dcm" : "corrected.dcm", file);
    DcmDataset* data = file.getDataset();

    EXPECT_EQ(Text(data, DCM_SOPClassUID), presentation ? UID_DigitalXRayImageStorageForPresentation
                                                         : UID_DigitalXRayImageStorageForProcessing);
    EXPECT_EQ(Text(data, DCM_PresentationIntentType), presentation ? "FOR PRESENTATION" : "FOR PROCESSING");
    EXPECT_EQ(Text(data, DCM_SeriesDescription), presentation ? "Enhanced, for presentation" : "Corrected, for processing");
    EXPECT_EQ(Text(data, DCM_Modality), "DX");
    EXPECT_EQ(Text(data, DCM_PhotometricInterpretation), "MONOCHROME2");
    EXPECT_EQ(Number(data, DCM_Rows), kSize);
    EXPECT_EQ(Number(data, DCM_Columns), kSize);
    EXPECT_EQ(Number(data, DCM_BitsAllocated), 16);
    EXPECT_EQ(Number(data, DCM_BitsStored), 14);
    EXPECT_EQ(Number(data, DCM_HighBit), 13);
    EXPECT_EQ(Number(data, DCM_PixelRepresentation), 0);
    EXPECT_EQ(Text(data, DCM_ImagerPixelSpacing), "0.139\\0.139");
    EXPECT_EQ(Text(data, DCM_PatientName), "Doe^Jane");
    EXPECT_EQ(Text(data, DCM_AcquisitionDateTime), "20240301120305");
    if (presentation) {
      Float64 center = 0, width = 0;
      EXPECT_TRUE(data->findAndGetFloat64(DCM_WindowCenter, center).good());
      EXPECT_TRUE(data->findAndGetFloat64(DCM_WindowWidth, width).good());
      EXPECT_EQ(center, 8191.5);
      EXPECT_EQ(width, 4000);
    } else {
      EXPECT_EQ(Text(data, DCM_PixelIntensityRelationship), "LIN");
      EXPECT_FALSE(data->tagExists(DCM_WindowCenter));
    }

    const Uint16* pixels = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(data->findAndGetUint16Array(DCM_PixelData, pixels, &count).good());
    ASSERT_EQ(count, image_.size());
    EXPECT_EQ(std::vector<uint16_t>(pixels, pixels + count), image_);
    OFString implementation;
    ASSERT_TRUE(file.getMetaInfo()->findAndGetOFString(DCM_ImplementationClassUID, implementation).good());
    EXPECT_EQ(implementation, kImplementationClassUid);
  }
}

TEST_F(DicomFileTest, EnhancedImageReferencesItsSourceWithThePurpose) {
  info_.forPresentation = true;
  info_.sourceSopClassUid = UID_DigitalXRayImageStorageForProcessing;
  info_.sourceSopInstanceUid = "2.25.99";
  DcmFileFormat file;
  WriteAndLoad(info_, "derived.dcm", file);
  DcmItem* source = nullptr;
  ASSERT_TRUE(file.getDataset()->findAndGetSequenceItem(DCM_SourceImageSequence, source).good());
  EXPECT_EQ(Text(source, DCM_ReferencedSOPInstanceUID), "2.25.99");
  DcmItem* purpose = nullptr;
  ASSERT_TRUE(source->findAndGetSequenceItem(DCM_PurposeOfReferenceCodeSequence, purpose).good());
  EXPECT_EQ(Text(purpose, DCM_CodeValue), "121322");
}

TEST_F(DicomFileTest, TemperatureOnlyWhenAReadingArrived) {
  DcmFileFormat without, with;
  WriteAndLoad(info_, "no-reading.dcm", without);
  EXPECT_FALSE(without.getDataset()->tagExists(DCM_DetectorTemperature));
  info_.detectorTemperature = 31;
  WriteAndLoad(info_, "reading.dcm", with);
  EXPECT_EQ(Text(with.getDataset(), DCM_DetectorTemperature), "31");
}

TEST_F(DicomFileTest, UnknownPatientIsRecordedEmpty) {
  info_.exam.patientName.clear();
  info_.exam.patientId.clear();
  DcmFileFormat file;
  WriteAndLoad(info_, "anonymous.dcm", file);
  for (const DcmTagKey& tag : {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex}) {
    EXPECT_TRUE(file.getDataset()->tagExists(tag)) << DcmTag(tag).getTagName();
    EXPECT_EQ(Text(file.getDataset(), tag), "");
  }
}

TEST_F(DicomFileTest, NonAsciiNameDeclaresUtf8) {
  info_.exam.patientName = "M\xC3\xBCller^J\xC3\xBCrgen";
  DcmFileFormat file;
  WriteAndLoad(info_, "utf8.dcm", file);
  EXPECT_EQ(Text(file.getDataset(), DCM_SpecificCharacterSet), "ISO_IR 192");
  EXPECT_EQ(Text(file.getDataset(), DCM_PatientName), info_.exam.patientName);
}

TEST_F(DicomFileTest, RefusesWhatCannotBeStoredFaithfully) {
  const std::string path = dir_ + "/refused.dcm";
  std::vector<uint16_t> wide = image_;
  wide[size_t(5) * kSize + 9] = 16384;
  EXPECT_NE(WriteDicom(path, wide.data(), kSize, kSize, info_).find("(5, 9)"), std::string::npos);

  DicomImage badDate = info_;
  badDate.acquisitionDateTimeUtc = "2024-03-01";
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, badDate), "");

  DicomImage badWindow = info_;
  badWindow.forPresentation = true;
  badWindow.window = VoiWindow{100, 0};
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, badWindow), "");

  DicomImage twoIds = info_;
  twoIds.exam.patientId = "A\\B";  // would read back as two values
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, twoIds).find("PatientID"), std::string::npos);

  DicomImage longText = info_;
  longText.derivationDescription.assign(1025, 'x');
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, longText).find("DerivationDescription"), std::string::npos);

  DicomImage noStudy = info_;
  noStudy.exam.studyInstanceUid.clear();
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, noStudy).find("StudyInstanceUID"), std::string::npos);

  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tavrix_tool
