#include "support/detector_fixture.h"

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
