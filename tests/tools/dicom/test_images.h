// Small Digital X-Ray objects written for the networking tests, and what a
// test compares them by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "network/worklist_query.h"

namespace tavrix_tool {

struct TestImage {
  std::string studyUid, seriesUid, instanceUid;
  bool forPresentation = true;
  uint16_t rows = 64, columns = 48;
  bool implicitVr = false;  // written in implicit instead of explicit VR little endian
  bool withoutSeries = false;  // no SeriesInstanceUID, which a PACS refuses
};

// A fresh UID under the test root, unique in this run.
std::string TestUid();

// A test image in one new study and series, `rows` x `columns`.
TestImage NewTestImage(uint16_t rows = 64, uint16_t columns = 48);

// Writes `image` to `path` as a DICOM file; its pixels depend on its UID.
void WriteTestImage(const std::string& path, const TestImage& image);

// What a PACS must keep of an object.
struct ObjectFacts {
  std::string studyUid, seriesUid, instanceUid;
  std::vector<uint16_t> pixels;
};
// The facts of the DICOM file at `path` (or of the bytes of one); a failed
// test when it cannot be read.
ObjectFacts ReadObjectFacts(const std::string& path);
ObjectFacts ReadObjectFactsFromBytes(const std::string& bytes);

// Writes a worklist file for wlmscpfs, as a department's system would leave
// it, in `characterSet` (none: the default repertoire).
void WriteWorklistItem(const std::string& path, const ScheduledStep& step, const char* characterSet = nullptr);

}  // namespace tavrix_tool
