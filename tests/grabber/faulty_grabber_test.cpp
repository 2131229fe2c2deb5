// The library against a frame-grabber card that misbehaves, one way at a time,
// chosen through the simulator's PCI_FRM01_SIM_FAULT. Every wait but one runs
// on a fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "detector/detector.h"
#include "platform/wait.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix_test {
namespace {

constexpr const char* kFaultVariable = "PCI_FRM01_SIM_FAULT";
constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kCancel = TAVRIX_RUN_CANCEL;
constexpr int64_t kWaitLimitMilliseconds = 30000;
constexpr int32_t kMessageBytes = 64;
constexpr size_t kReceiveBufferBytes = 1024;
constexpr size_t kImagePixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;
const std::string kFullFetch = "LVDS_GetFrame(16204480)";

// A clock that advances only by what is slept.
int64_t g_fakeNow = 0;
void FakeSleep(int32_t milliseconds) { g_fakeNow += milliseconds; }
int64_t FakeNow() { return g_fakeNow; }

int CountCalls(const std::string& name) {
  const std::vector<std::string> calls = RecordedCalls();
  return int(std::count(calls.begin(), calls.end(), name));
}

// A raw frame whose every word holds `value`.
std::vector<uint8_t> FlatRawFrame(uint16_t value) {
  std::vector<uint8_t> bytes(size_t(tavrix::kRawLineWords) * tavrix::kRawLineCount * 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    bytes[i] = uint8_t(value & 0xFF);
    bytes[i + 1] = uint8_t(value >> 8);
  }
  return bytes;
}

uint16_t Pixel(int32_t row, int32_t column) {
  return SaveRawImage()[size_t(row) * TAVRIX_IMAGE_WIDTH + size_t(column)];
}

// Each test starts with a card without faults and leaves the variable as it
// found it. The simulator reads the variable only at its reset, so a fault
// lasts until the next reset and never reaches another test.
class FaultyGrabberTest : public SimulatorTest {
 protected:
  void SetUp() override {
    g_fakeNow = 0;
    previousWait_ = tavrix::ReplaceWaitFunctions({FakeSleep, FakeNow});
    SimulatorTest::SetUp();
    UseFault("");
  }
  void TearDown() override {
    SimulatorTest::TearDown();
    tavrix::ReplaceWaitFunctions(previousWait_);
    PCI_FRM01_SimReset();
  }

  // From now on the card misbehaves as `fault` says ("" for not at all); a
  // detector that exists keeps its state. Forgets injected frames and bytes.
  static void UseFault(const char* fault) {
    const char* outer = std::getenv(kFaultVariable);
    const std::string saved = outer != nullptr ? outer : "";
    setenv(kFaultVariable, fault, 1);
    PCI_FRM01_SimReset();
    if (outer != nullptr)
      setenv(kFaultVariable, saved.c_str(), 1);
    else
      unsetenv(kFaultVariable);
  }

  void UseRealClock() { tavrix::ReplaceWaitFunctions(previousWait_); }

  // An arming is refused only while armed; a disarmed detector gets armed by
  // the probe and is cancelled again.
  static bool IsArmed() {
    if (RunforDetector(kArm) == 0) return true;
    RunforDetector(kCancel);
    return false;
  }

 private:
  tavrix::WaitFunctions previousWait_{};
};

struct FaultRow {
  const char* fault;
  int32_t grabberOpen;     // CheckFrameGrabber
  int32_t acquireResult;   // RunforDetector(2) after an arming
  int fullFetches;         // LVDS_GetFrame calls of that acquisition
  bool serialArrives;      // a queued message reaches the host
};

TEST_F(FaultyGrabberTest, EveryExportKeepsItsDocumentedResultWhateverTheCardDoes) {
  const FaultRow rows[] = {
      {"", 1, 1, 1, true},
      {"never-ready", 1, 0, 0, true},
      {"stale-ready", 1, 0, 0, true},
      {"getframe-error", 1, 0, 1, true},
      {"short-frame", 1, 0, 1, true},
      {"uart-flood", 1, 1, 1, true},
      {"uart-negative", 1, 1, 1, false},
      {"open-fails", 0, 1, 1, true},
      {"no-such-fault", 1, 1, 1, true},  // unknown names act as no fault
  };
  for (const FaultRow& row : rows) {
    SCOPED_TRACE(std::string("fault '") + row.fault + "'");
    UseFault(row.fault);
    ASSERT_EQ(Sys_Allocation_1417(), 1);
    EXPECT_EQ(CheckFrameGrabber(), row.grabberOpen);
    EXPECT_NE(SaveRawImage(), nullptr);

    EXPECT_EQ(RunforDetector(kArm), 1);
    PCI_FRM01_SimClearCallLog();
    EXPECT_EQ(RunforDetector(kAcquire), row.acquireResult);
    EXPECT_EQ(CountCalls(kFullFetch), row.fullFetches);
    EXPECT_FALSE(IsArmed()) << "an acquisition must end disarmed";
    EXPECT_EQ(RunforDetector(kCancel), 1);

    // Switch code 2 at 0 and a temperature frame of 21 degrees at 10.
    std::vector<uint8_t> message(kMessageBytes, 0);
    message[0] = 's';
    message[10] = 'f';
    message[11] = 0x19;
    message[12] = 'g';
    PCI_FRM01_SimInjectSerial(message.data(), int32_t(message.size()));
    EXPECT_EQ(CheckSwitch(), -1);
    EXPECT_EQ(GetMsgLength(), kMessageBytes);
    std::vector<int32_t> expected(kMessageBytes, 0);
    if (row.serialArrives) expected[0] = 2;
    std::vector<int32_t> codes;
    for (int32_t p = 0; p < kMessageBytes; ++p) codes.push_back(GetSwitchMsg(p));
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(GetSwitchMsg(kMessageBytes), 0);
    EXPECT_EQ(GetSwitchMsg(-1), 0);
    const int32_t temperature = row.serialArrives ? 21 : 0;
    EXPECT_EQ(GetTemperature(), temperature);
    EXPECT_EQ(Init_Comm(), -1);
    EXPECT_EQ(GetTemperature(), temperature) << "no frame arrived during the drain";

    EXPECT_EQ(Sys_Free(), 1);
    EXPECT_EQ(CheckFrameGrabber(), -1);
  }
}

// A test name from a fault's name.
std::string FaultName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
  return name;
}

class StuckReadyTest : public FaultyGrabberTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StuckReadyTest, AcquisitionGivesUpAtTheBoundDisarmedImageBlackAndRecovers) {
  UseFault(GetParam());
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  uint16_t* image = SaveRawImage();
  ASSERT_NE(image, nullptr);
  for (size_t i = 0; i < kImagePixels; ++i) image[i] = uint16_t(i * 7919u);
  ASSERT_EQ(RunforDetector(kArm), 1);
  PCI_FRM01_SimClearCallLog();
  const int64_t start = g_fakeNow;

  EXPECT_EQ(RunforDetector(kAcquire), 0);

  EXPECT_GE(g_fakeNow - start, kWaitLimitMilliseconds);
  EXPECT_LE(g_fakeNow - start, kWaitLimitMilliseconds + 1) << "more than one wait ran out";
  EXPECT_EQ(CountCalls(kFullFetch), 0) << "a frame was fetched that was never reported";
  EXPECT_TRUE(std::all_of(image, image + kImagePixels, [](uint16_t v) { return v == 0; }))
      << "an image that no exposure made is left for the host after a time-out";
  EXPECT_FALSE(IsArmed());

  // The detector is not left busy: once the card behaves, it acquires again.
  UseFault("");
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, StuckReadyTest, ::testing::Values("never-ready", "stale-ready"),
                         FaultName);

// A fetch the card reports failed (-1) or short (half the bytes) is a failed
// acquisition: 0, disarmed, and a black image instead of the previous frame or
// one torn between two exposures. The next frame after it is exact.
class FailedFetchTest : public FaultyGrabberTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FailedFetchTest, ReturnsZeroWithABlackImageAndTheNextFrameIsExact) {
  const std::vector<uint8_t> first = FlatRawFrame(1000);
  const std::vector<uint8_t> lost = FlatRawFrame(3000);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  PCI_FRM01_SimInjectFrame(first.data(), int32_t(first.size()));
  ASSERT_EQ(RunforDetector(kArm), 1);
  ASSERT_EQ(RunforDetector(kAcquire), 1);
  const std::vector<uint16_t> firstImage(SaveRawImage(), SaveRawImage() + kImagePixels);
  ASSERT_EQ(Pixel(1000, 500), 1000);

  UseFault(GetParam());
  PCI_FRM01_SimInjectFrame(lost.data(), int32_t(lost.size()));
  ASSERT_EQ(RunforDetector(kArm), 1);
  PCI_FRM01_SimClearCallLog();

  EXPECT_EQ(RunforDetector(kAcquire), 0);

  EXPECT_EQ(CountCalls(kFullFetch), 1);
  const uint16_t* image = SaveRawImage();
  EXPECT_TRUE(std::all_of(image, image + kImagePixels, [](uint16_t v) { return v == 0; }))
      << "the host is shown an image the card did not deliver";
  EXPECT_FALSE(IsArmed());

  UseFault("");
  PCI_FRM01_SimInjectFrame(first.data(), int32_t(first.size()));
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_TRUE(std::equal(firstImage.begin(), firstImage.end(), SaveRawImage()))
      << "a whole frame after a failed one is not corrected as always";
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedFetchTest, ::testing::Values("getframe-error", "short-frame"),
                         FaultName);

// The card writes 1,024 bytes and reports 4,096 where 64 were asked for. The
// receive buffer must hold them (the sanitizer build checks), and nothing
// beyond the 64-byte message may be decoded.
TEST_F(FaultyGrabberTest, SerialFloodIsNeverDecodedPastTheMessage) {
  UseFault("uart-flood");
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const tavrix::DetectorProbe probe(detector);
  // Switch code 3 at 0, a frame opened at 62 that closes only beyond the
  // message, and beyond it switch codes and complete frames of 123 degrees.
  std::vector<uint8_t> flood(kReceiveBufferBytes, 's');
  std::fill(flood.begin(), flood.begin() + kMessageBytes, 0);
  flood[0] = 'u';
  flood[62] = 'f';
  flood[63] = 0x19;
  flood[64] = 'g';
  for (size_t p = 100; p + 2 < flood.size(); p += 50) {
    flood[p] = 'f';
    flood[p + 1] = 0x7F;
    flood[p + 2] = 'g';
  }
  PCI_FRM01_SimInjectSerial(flood.data(), int32_t(flood.size()));

  detector.PollMessages();

  ASSERT_EQ(probe.RxBuffer()[kReceiveBufferBytes - 1], 's') << "the flood did not fill the buffer";
  EXPECT_EQ(detector.DecodeMessage(0), 3);
  for (int32_t p = 1; p < int32_t(kReceiveBufferBytes); ++p) {
    SCOPED_TRACE(p);
    ASSERT_EQ(detector.DecodeMessage(p), 0);
  }
  EXPECT_EQ(detector.Temperature(), 0);

  // A hundred flooded polls, each with a frame closing beyond the message.
  std::vector<uint8_t> chunk(kReceiveBufferBytes, 'g');
  chunk[62] = 'f';
  chunk[63] = 0x7F;
  for (int i = 0; i < 100; ++i) PCI_FRM01_SimInjectSerial(chunk.data(), int32_t(chunk.size()));
  detector.DrainMessages();
  EXPECT_EQ(detector.Temperature(), 0);
}

TEST_F(FaultyGrabberTest, NegativeSerialLengthLeavesAnEmptyMessageNotTheLastOne) {
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  const std::vector<uint8_t> message(kMessageBytes, 'v');
  PCI_FRM01_SimInjectSerial(message.data(), int32_t(message.size()));
  ASSERT_EQ(CheckSwitch(), -1);
  ASSERT_EQ(GetSwitchMsg(0), 1);

  UseFault("uart-negative");
  PCI_FRM01_SimInjectSerial(message.data(), int32_t(message.size()));
  EXPECT_EQ(CheckSwitch(), -1);
  for (int32_t p = 0; p < kMessageBytes; ++p) ASSERT_EQ(GetSwitchMsg(p), 0) << p;
  EXPECT_EQ(Init_Comm(), -1);
  EXPECT_EQ(GetTemperature(), 0);
}

TEST_F(FaultyGrabberTest, UnknownFaultNameIsReportedOnceNotOnEveryCall) {
  ::testing::internal::CaptureStderr();
  UseFault("no-such-fault");
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(CheckSwitch(), -1);
  const std::string err = ::testing::internal::GetCapturedStderr();

  const std::string name = "no-such-fault";
  size_t count = 0;
  for (size_t at = err.find(name); at != std::string::npos; at = err.find(name, at + 1)) ++count;
  EXPECT_EQ(count, 1u) << err;
}

// The one test on the real clock, about 30 seconds: with a card that never
// reports a frame, the bound holds in real milliseconds, not only on the fake
// clock. (Every time-out takes the full 30 seconds; this fault runs one wait.)
TEST_F(FaultyGrabberTest, RealClockNeverReadyGivesUpAfterThirtySecondsNotNever) {
  UseRealClock();
  UseFault("never-ready");
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  ASSERT_EQ(RunforDetector(kArm), 1);
  PCI_FRM01_SimClearCallLog();
  const auto start = std::chrono::steady_clock::now();

  EXPECT_EQ(RunforDetector(kAcquire), 0);

  const int64_t waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, kWaitLimitMilliseconds - 1);
  EXPECT_LT(waited, 2 * kWaitLimitMilliseconds) << "both waits ran out";
  EXPECT_EQ(CountCalls(kFullFetch), 0);
  EXPECT_FALSE(IsArmed());
}

}  // namespace
}  // namespace tavrix_test
