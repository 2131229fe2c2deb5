#include "dicom/dicom_file.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
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
    info_.patientName = "Doe^Jane";
    info_.patientId = "P-17";
    info_.studyDescription = "Chest";
    info_.acquisitionDateTimeUtc = "20240301120305";
    info_.softwareVersion = "1.0.0";
    info_.windowCenter = 8191.5;
    info_.windowWidth = 4000;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes `info` and loads the file back into `file`.
  void WriteAndLoad(const DicomImage& info, const std::string& name, DcmFileFormat& file) {
    const std::string path = dir_ + "/" + name;
    ASSERT_EQ(WriteDicom(path, image_.data(), kSize, kSize, info), "");
    ASSERT_TRUE(file.loadFile(path.c_str()).good());
  }

  static std::string Text(DcmDataset* data, const DcmTagKey& tag) {
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
  std::string instances[2];
  for (bool presentation : {false, true}) {
    SCOPED_TRACE(presentation ? "for presentation" : "for processing");
    info_.forPresentation = presentation;
    DcmFileFormat file;
    WriteAndLoad(info_, presentation ? "enhanced.dcm" : "corrected.dcm", file);
    DcmDataset* data = file.getDataset();

    EXPECT_EQ(Text(data, DCM_SOPClassUID), presentation ? UID_DigitalXRayImageStorageForPresentation
                                                         : UID_DigitalXRayImageStorageForProcessing);
    EXPECT_EQ(Text(data, DCM_PresentationIntentType), presentation ? "FOR PRESENTATION" : "FOR PROCESSING");
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
    instances[presentation] = Text(data, DCM_SOPInstanceUID);
  }
  EXPECT_NE(instances[0], instances[1]);
}

TEST_F(DicomFileTest, UnknownPatientIsRecordedEmpty) {
  info_.patientName.clear();
  info_.patientId.clear();
  DcmFileFormat file;
  WriteAndLoad(info_, "anonymous.dcm", file);
  for (const DcmTagKey& tag : {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex}) {
    EXPECT_TRUE(file.getDataset()->tagExists(tag)) << DcmTag(tag).getTagName();
    EXPECT_EQ(Text(file.getDataset(), tag), "");
  }
}

TEST_F(DicomFileTest, NonAsciiNameDeclaresUtf8) {
  info_.patientName = "M\xC3\xBCller^J\xC3\xBCrgen";
  DcmFileFormat file;
  WriteAndLoad(info_, "utf8.dcm", file);
  EXPECT_EQ(Text(file.getDataset(), DCM_SpecificCharacterSet), "ISO_IR 192");
  EXPECT_EQ(Text(file.getDataset(), DCM_PatientName), info_.patientName);
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
  badWindow.windowWidth = 0;
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, badWindow), "");

  DicomImage twoIds = info_;
  twoIds.patientId = "A\\B";  // would read back as two values
  EXPECT_NE(WriteDicom(path, image_.data(), kSize, kSize, twoIds), "");

  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tavrix_tool
