#include "test_images.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace tavrix_tool {

namespace {

// The UUID-derived root, so that the tests' objects collide with nothing.
constexpr const char* kTestRoot = "2.25.";

ObjectFacts Facts(DcmFileFormat& file) {
  ObjectFacts facts;
  DcmDataset* data = file.getDataset();
  OFString text;
  if (data->findAndGetOFString(DCM_StudyInstanceUID, text).good()) facts.studyUid = text.c_str();
  if (data->findAndGetOFString(DCM_SeriesInstanceUID, text).good()) facts.seriesUid = text.c_str();
  if (data->findAndGetOFString(DCM_SOPInstanceUID, text).good()) facts.instanceUid = text.c_str();
  const Uint16* pixels = nullptr;
  unsigned long count = 0;
  EXPECT_TRUE(data->findAndGetUint16Array(DCM_PixelData, pixels, &count).good());
  if (pixels != nullptr) facts.pixels.assign(pixels, pixels + count);
  return facts;
}

}  // namespace

std::string TestUid() {
  static unsigned long counter = 0;
  char uid[65];
  std::snprintf(uid, sizeof uid, "%s%ld%06lu%lu", kTestRoot, long(getpid()), (unsigned long)time(nullptr) % 1000000,
                ++counter);
  return uid;
}

TestImage NewTestImage(uint16_t rows, uint16_t columns) {
  TestImage image;
  image.studyUid = TestUid();
  image.seriesUid = TestUid();
  image.instanceUid = TestUid();
  image.rows = rows;
  image.columns = columns;
  return image;
}

void WriteTestImage(const std::string& path, const TestImage& image) {
  DcmFileFormat file;
  DcmDataset* data = file.getDataset();
  data->putAndInsertString(DCM_SOPClassUID, image.forPresentation ? UID_DigitalXRayImageStorageForPresentation
                                                                   : UID_DigitalXRayImageStorageForProcessing);
  data->putAndInsertString(DCM_SOPInstanceUID, image.instanceUid.c_str());
  data->putAndInsertString(DCM_PatientName, "Test^Patient");
  data->putAndInsertString(DCM_PatientID, "T-1");
  data->putAndInsertString(DCM_StudyInstanceUID, image.studyUid.c_str());
  if (!image.withoutSeries) data->putAndInsertString(DCM_SeriesInstanceUID, image.seriesUid.c_str());
  data->putAndInsertString(DCM_Modality, "DX");
  data->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  data->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  data->putAndInsertUint16(DCM_Rows, image.rows);
  data->putAndInsertUint16(DCM_Columns, image.columns);
  data->putAndInsertUint16(DCM_BitsAllocated, 16);
  data->putAndInsertUint16(DCM_BitsStored, 14);
  data->putAndInsertUint16(DCM_HighBit, 13);
  data->putAndInsertUint16(DCM_PixelRepresentation, 0);
  // Both bytes of most pixels differ, and each image differs from the others.
  std::vector<Uint16> pixels(size_t(image.rows) * image.columns);
  const size_t seed = std::hash<std::string>()(image.instanceUid);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Uint16((i * 7919 + seed) % 16384);
  data->putAndInsertUint16Array(DCM_PixelData, pixels.data(), pixels.size());
  const E_TransferSyntax syntax = image.implicitVr ? EXS_LittleEndianImplicit : EXS_LittleEndianExplicit;
  ASSERT_TRUE(file.saveFile(path.c_str(), syntax).good()) << path;
}

ObjectFacts ReadObjectFacts(const std::string& path) {
  DcmFileFormat file;
  EXPECT_TRUE(file.loadFile(path.c_str()).good()) << path;
  return Facts(file);
}

ObjectFacts ReadObjectFactsFromBytes(const std::string& bytes) {
  DcmInputBufferStream stream;
  stream.setBuffer(bytes.data(), offile_off_t(bytes.size()));
  stream.setEos();
  DcmFileFormat file;
  file.transferInit();
  const OFCondition status = file.read(stream);
  file.transferEnd();
  EXPECT_TRUE(status.good()) << status.text();
  return Facts(file);
}

// A worklist file as a department's system would leave it for wlmscpfs.
void WriteWorklistItem(const std::string& path, const ScheduledStep& step, const char* characterSet) {
  DcmFileFormat file;
  DcmDataset* data = file.getDataset();
  if (characterSet != nullptr) data->putAndInsertString(DCM_SpecificCharacterSet, characterSet);
  data->putAndInsertString(DCM_PatientName, step.patientName.c_str());
  data->putAndInsertString(DCM_PatientID, step.patientId.c_str());
  data->putAndInsertString(DCM_PatientBirthDate, step.patientBirthDate.c_str());
  data->putAndInsertString(DCM_PatientSex, step.patientSex.c_str());
  data->putAndInsertString(DCM_AccessionNumber, step.accessionNumber.c_str());
  data->putAndInsertString(DCM_StudyInstanceUID, step.studyInstanceUid.c_str());
  data->putAndInsertString(DCM_ReferringPhysicianName, step.referringPhysicianName.c_str());
  data->putAndInsertString(DCM_RequestedProcedureID, step.requestedProcedureId.c_str());
  data->putAndInsertString(DCM_RequestedProcedureDescription, step.requestedProcedureDescription.c_str());
  DcmItem* item = nullptr;
  ASSERT_TRUE(data->findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, item).good());
  item->putAndInsertString(DCM_ScheduledStationAETitle, step.stationAeTitle.c_str());
  item->putAndInsertString(DCM_ScheduledProcedureStepStartDate, step.stepStartDate.c_str());
  item->putAndInsertString(DCM_ScheduledProcedureStepStartTime, step.stepStartTime.c_str());
  item->putAndInsertString(DCM_Modality, step.modality.c_str());
  item->putAndInsertString(DCM_ScheduledPerformingPhysicianName, "Curie^Marie");
  item->putAndInsertString(DCM_ScheduledProcedureStepDescription, step.stepDescription.c_str());
  item->putAndInsertString(DCM_ScheduledProcedureStepID, step.stepId.c_str());
  ASSERT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good()) << path;
}

}  // namespace tavrix_tool
