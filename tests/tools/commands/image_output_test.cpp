#include "commands/image_output.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>
#include <stdlib.h>

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

}  // namespace
}  // namespace tavrix_tool
