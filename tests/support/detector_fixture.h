// Test fixtures around the exports and the frame-grabber simulator.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pci_frm01_sim.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_test {

// Starts every test with a fresh simulator and no detector, and releases any
// detector a test leaves behind.
class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// As SimulatorTest, with a detector created through the exports.
class DetectorTest : public SimulatorTest {
 protected:
  void SetUp() override;
};

// Calls every export as a host would without a detector and expects each
// one's result for that case, with no call reaching the frame grabber.
// `when` names the moment in a failure ("before creation", ...).
void ExpectEveryExportWithoutDetector(const std::string& when);

// The simulator's call log split at ';'.
std::vector<std::string> RecordedCalls();

// A temporary file with the given bytes, removed when the object goes.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::vector<uint8_t>& bytes);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

}  // namespace tavrix_test
