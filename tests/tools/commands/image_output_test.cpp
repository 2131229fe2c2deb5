#include "commands/image_output.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <tiffio.h>

#include <filesystem>
#include <vector>

#include "dicom/value_checks.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {
namespace {

TEST(ImageOutputTest, ALongSourcePathIsShortenedInTheRecordNeverCutInvalid) {
  std::string pattern = (std::filesystem::temp_directory_path() / "image_output_test_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const ImageOutput output = ParseImageOutput(
      Arguments({"-o", pattern + "/long", "--format", "dicom"}, kImageOutputOptions));
  ImageRecord record;
  record.command = "correct";
  record.sourceFile = "/data/";
  for (int i = 0; i < 650; ++i) record.sourceFile += "\xC3\xA9";  // 1,300 bytes of two-byte characters
  record.sourceFile += "/frames.raw";
  const std::vector<uint16_t> image(size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT, 1000);
  WriteImageFiles(output, 1, "", image.data(), record);

  DcmFileFormat file;
  ASSERT_TRUE(file.loadFile((pattern + "/long_0001.dcm").c_str()).good());
  OFString text;
  ASSERT_TRUE(file.getDataset()->findAndGetOFStringArray(DCM_DerivationDescription, text).good());
  const std::string description = text.c_str();
  EXPECT_LE(description.size(), 1024u);
  EXPECT_GT(description.size(), 900u);
  EXPECT_EQ(CheckUtf8(description), "");
  EXPECT_NE(description.find("...\xC3\xA9"), std::string::npos);
  EXPECT_NE(description.find("/frames.raw\""), std::string::npos);
  EXPECT_EQ(description.back(), '}');
  std::filesystem::remove_all(pattern);
}

std::string TiffDescription(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  char* text = nullptr;
  const std::string description = tiff && TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &text) ? text : "";
  if (tiff) TIFFClose(tiff);
  return description;
}

std::string DicomValue(const std::string& path, const DcmTagKey& tag) {
  DcmFileFormat file;
  OFString value;
  if (file.loadFile(path.c_str()).good()) file.getDataset()->findAndGetOFString(tag, value);
  return value.c_str();
}

// The exposure index reaches the TIFF record and the DICOM file alike, and
// only what the station's settings allow: no response, no index; no target,
// no target and no deviation.
TEST(ImageOutputTest, TheExposureIndexIsInBothRecordsAsFarAsTheStationKnowsIt) {
  std::string folder = (std::filesystem::temp_directory_path() / "image_output_test_XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::vector<uint16_t> image(size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT, 1100);  // 50 uGy
  const struct {
    const char* name;
    bool response, target;
    const char* record;
    const char* target_value;
    const char* deviation;
  } cases[] = {{"none", false, false, "", "", ""},
               {"response", true, false, "\"exposure_index\":{\"ei\":5000}", "", ""},
               {"both", true, true, "\"exposure_index\":{\"ei\":5000,\"target\":2500,\"di\":3.0103", "2500",
                "3.0103"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageOutput output =
        ParseImageOutput(Arguments({"-o", folder + "/" + c.name, "--format", "tiff,dicom"}, kImageOutputOptions));
    if (c.response) output.station.panels[0].response = PanelResponse{20.0, 100.0};
    if (c.target) output.station.targetExposureIndex = 2500.0;
    ImageRecord record;
    record.command = "correct";
    record.panel = 0;
    const WrittenDicom written = WriteImageFiles(output, 1, "", image.data(), record);
    EXPECT_EQ(written.exposureIndex.has_value(), c.response);

    const std::string base = folder + "/" + c.name + "_0001";
    const std::string description = TiffDescription(base + ".tif");
    ASSERT_FALSE(description.empty());
    if (*c.record)
      EXPECT_NE(description.find(c.record), std::string::npos) << description;
    else
      EXPECT_EQ(description.find("exposure_index"), std::string::npos) << description;
    EXPECT_EQ(DicomValue(base + ".dcm", DCM_ExposureIndex), c.response ? "5000" : "");
    EXPECT_EQ(DicomValue(base + ".dcm", DCM_TargetExposureIndex), c.target_value);
    EXPECT_EQ(DicomValue(base + ".dcm", DCM_DeviationIndex).substr(0, 6), c.deviation);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavrix_tool
