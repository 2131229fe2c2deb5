#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "detector/detector.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix_test {
namespace {

using tavrix::Detector;
using tavrix::DetectorProbe;
using tavrix::kGainMapBytes;
using tavrix::kPixelMapBytes;

// Bytes whose value depends on their position, so that a misplaced row shows.
std::vector<uint8_t> PatternBytes(size_t count, uint8_t salt) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t((i * 31 + salt) % 251);
  return bytes;
}

class CalibrationMaps : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    detector_ = std::make_unique<Detector>();
    ASSERT_TRUE(detector_->IsComplete());
  }

  DetectorProbe Probe() const { return DetectorProbe(*detector_); }

  bool PixelMapMatches(int panel, const std::vector<uint8_t>& bytes) const {
    for (int r = 0; r < tavrix::kMapHeight; ++r)
      if (std::memcmp(Probe().PixelMap(panel)[r], bytes.data() + size_t(r) * tavrix::kMapWidth,
                      tavrix::kMapWidth) != 0)
        return false;
    return true;
  }

  bool PixelMapNeutral(int panel) const {
    return PixelMapMatches(panel, std::vector<uint8_t>(kPixelMapBytes, 0));
  }

  bool GainMapNeutral(int panel) const {
    float** const map = Probe().GainMap(panel);
    for (int r = 0; r < tavrix::kImageHeight; ++r)
      for (int x = 0; x < tavrix::kImageWidth; ++x)
        if (map[r][x] != 1.0f) return false;
    return true;
  }

  std::unique_ptr<Detector> detector_;
};

TEST_F(CalibrationMaps, PixelMapFileReplacesEveryByteFlagsIncluded) {
  const std::vector<uint8_t> bytes = PatternBytes(kPixelMapBytes, 7);
  TemporaryFile file(bytes);
  ASSERT_EQ(detector_->LoadPixelMap(file.path(), 0), 1);
  EXPECT_TRUE(PixelMapMatches(0, bytes));
  EXPECT_EQ(Probe().PixelMap(0)[100][3072], bytes[100 * 3073 + 3072]) << "row flag";
  EXPECT_EQ(Probe().PixelMap(0)[3072][5], bytes[3072 * 3073 + 5]) << "column flag";
  EXPECT_TRUE(PixelMapNeutral(1));
}

TEST_F(CalibrationMaps, GainMapFileIsReadAsLittleEndianFloatsRowByRow) {
  std::vector<uint8_t> bytes(kGainMapBytes, 0);
  const float probe[3] = {0.5f, -2.0f, 1e30f};
  std::memcpy(&bytes[0], &probe[0], 4);                                  // (0, 0)
  std::memcpy(&bytes[4 * (1 * 3072 + 2)], &probe[1], 4);                 // (1, 2)
  std::memcpy(&bytes[4 * (3071 * 3072 + 3071)], &probe[2], 4);           // (3071, 3071)
  TemporaryFile file(bytes);
  ASSERT_EQ(detector_->LoadGainMap(file.path(), 1), 1);
  EXPECT_EQ(Probe().GainMap(1)[0][0], 0.5f);
  EXPECT_EQ(Probe().GainMap(1)[1][2], -2.0f);
  EXPECT_EQ(Probe().GainMap(1)[3071][3071], 1e30f);
  EXPECT_EQ(Probe().GainMap(1)[1][1], 0.0f);
  EXPECT_TRUE(GainMapNeutral(0));
}

TEST_F(CalibrationMaps, AnyNonZeroSelectorChoosesPanelOne) {
  const std::vector<uint8_t> bytes = PatternBytes(kPixelMapBytes, 1);
  TemporaryFile file(bytes);
  for (int32_t selector : {1, 5, -1}) {
    ASSERT_EQ(detector_->LoadPixelMap(file.path(), selector), 1);
    EXPECT_TRUE(PixelMapMatches(1, bytes)) << selector;
    EXPECT_TRUE(PixelMapNeutral(0)) << selector;
  }
}

TEST_F(CalibrationMaps, LongerFileLoadsItsFirstBytes) {
  std::vector<uint8_t> bytes = PatternBytes(kPixelMapBytes + 1000, 3);
  TemporaryFile file(bytes);
  ASSERT_EQ(detector_->LoadPixelMap(file.path(), 0), 1);
  bytes.resize(kPixelMapBytes);
  EXPECT_TRUE(PixelMapMatches(0, bytes));
}

// A short file would mix two calibrations into every later image, so it is
// refused whole, as are files that cannot be read at all.
TEST_F(CalibrationMaps, UnusableFilesAreRefusedAndLeaveTheMapsUnchanged) {
  const std::vector<uint8_t> loaded = PatternBytes(kPixelMapBytes, 9);
  TemporaryFile good(loaded);
  ASSERT_EQ(detector_->LoadPixelMap(good.path(), 0), 1);

  TemporaryFile empty(std::vector<uint8_t>{});
  TemporaryFile oneRow(std::vector<uint8_t>(3073, 0xEE));
  TemporaryFile oneByteShort(std::vector<uint8_t>(kPixelMapBytes - 1, 0xEE));
  TemporaryFile shortGain(std::vector<uint8_t>(kGainMapBytes - 2, 0xEE));
  const std::string insideAFile = std::string(good.path()) + "/child";
  const char* directory = "/tmp";
  struct stat info;
  ASSERT_EQ(stat(directory, &info), 0);

  for (const char* path : {static_cast<const char*>(nullptr), "/nonexistent/map.bin", directory,
                           insideAFile.c_str(), empty.path(), oneRow.path(), oneByteShort.path()}) {
    EXPECT_EQ(detector_->LoadPixelMap(path, 0), 0) << (path ? path : "null");
    EXPECT_EQ(detector_->LoadGainMap(path, 0), 0) << (path ? path : "null");
  }
  EXPECT_EQ(detector_->LoadGainMap(shortGain.path(), 0), 0);
  EXPECT_TRUE(PixelMapMatches(0, loaded));
  EXPECT_TRUE(GainMapNeutral(0));
}

TEST_F(CalibrationMaps, NamedPipeIsRefusedWithoutWaitingForAWriter) {
  char directory[] = "/tmp/tavrix_pipe_XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string pipe = std::string(directory) + "/map";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Should a loader wait for a writer, one turns up after two seconds and
  // lets it go on, so that the test fails instead of hanging.
  std::atomic<bool> loaded{false};
  std::atomic<bool> writerNeeded{false};
  std::thread writer([&] {
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!loaded) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (std::chrono::steady_clock::now() < patience) continue;
      const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);  // fails while nobody reads
      if (fd >= 0) {
        writerNeeded = true;
        close(fd);
      }
    }
  });
  const int32_t pixelResult = detector_->LoadPixelMap(pipe.c_str(), 0);
  const int32_t gainResult = detector_->LoadGainMap(pipe.c_str(), 1);
  loaded = true;
  writer.join();
  unlink(pipe.c_str());
  rmdir(directory);

  EXPECT_EQ(pixelResult, 0);
  EXPECT_EQ(gainResult, 0);
  EXPECT_FALSE(writerNeeded) << "a loader waited for a writer on a named pipe";
  EXPECT_TRUE(PixelMapNeutral(0));
  EXPECT_TRUE(GainMapNeutral(1));
}

TEST_F(CalibrationMaps, ExportsReachTheLoaders) {
  const std::vector<uint8_t> bytes = PatternBytes(kPixelMapBytes, 4);
  TemporaryFile file(bytes);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  EXPECT_EQ(LoadPixelMap(file.path(), 0), 1);
  EXPECT_EQ(LoadGainMap(file.path(), 0), 0) << "a pixel-map file is too short for a gain map";
  EXPECT_EQ(LoadPixelMap(nullptr, 1), 0);
}

}  // namespace
}  // namespace tavrix_test
