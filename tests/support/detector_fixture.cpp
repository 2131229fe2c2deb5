#include "support/detector_fixture.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace tavrix_test {

void SimulatorTest::SetUp() {
  while (Sys_Free() == 1) {
  }
  PCI_FRM01_SimReset();
}

void SimulatorTest::TearDown() {
  while (Sys_Free() == 1) {
  }
}

void DetectorTest::SetUp() {
  SimulatorTest::SetUp();
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  PCI_FRM01_SimClearCallLog();
}

void ExpectEveryExportWithoutDetector(const std::string& when) {
  uint16_t image[4] = {};
  struct Case {
    const char* call;
    int64_t result, expected;
  };
  const std::string callsBefore = PCI_FRM01_SimCallLog();
  // Evaluated in this order: Sys_Free first, so that none of the others finds a detector.
  const Case cases[] = {
      {"Sys_Free()", Sys_Free(), -1},
      {"CheckSwitch()", CheckSwitch(), -1},
      {"PanelSelect(1)", PanelSelect(1), -1},
      {"RunforDetector(1)", RunforDetector(1), 1},
      {"RunforDetector(2)", RunforDetector(2), 2},
      {"RunforDetector(7)", RunforDetector(7), 7},
      {"RunforDetector(INT_MIN)", RunforDetector(INT_MIN), INT_MIN},
      {"LoadPixelMap(\"/nonexistent\", 0)", LoadPixelMap("/nonexistent", 0), -1},
      {"LoadGainMap(nullptr, 1)", LoadGainMap(nullptr, 1), -1},
      {"SaveRawImage() != nullptr", SaveRawImage() != nullptr, 0},
      {"CheckFrameGrabber()", CheckFrameGrabber(), -1},
      {"GetTemperature()", GetTemperature(), -1},
      {"GetSwitchMsg(5)", GetSwitchMsg(5), 0},
      {"Init_Comm()", Init_Comm(), -1},
      {"Enhancement(...)", Enhancement(image, image, 5, 10, 3, 10), -1},
      {"GetMsgLength()", GetMsgLength(), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.call << " " << when;
  EXPECT_EQ(PCI_FRM01_SimCallLog(), callsBefore) << "an export reached the frame grabber " << when;
}

std::vector<std::string> RecordedCalls() {
  std::vector<std::string> calls;
  std::stringstream log(PCI_FRM01_SimCallLog());
  std::string call;
  while (std::getline(log, call, ';')) calls.push_back(call);
  return calls;
}

TemporaryFile::TemporaryFile(const std::vector<uint8_t>& bytes) {
  char name[] = "/tmp/tavrix_test_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) std::abort();
  path_ = name;
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) std::abort();
    written += size_t(n);
  }
  close(fd);
}

TemporaryFile::~TemporaryFile() { std::remove(path_.c_str()); }

}  // namespace tavrix_test
