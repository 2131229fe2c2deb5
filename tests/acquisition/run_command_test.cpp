// The acquisition commands behind RunforDetector, driven through the exports
// against the frame-grabber simulator. The waits use a fake clock, so no test
// waits in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "detector/detector.h"
#include "platform/wait.h"
#include "grabber/frame_grabber.h"
#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix_test {
namespace {

constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kCancel = TAVRIX_RUN_CANCEL;
// The bound each wait of a capture gives up after.
constexpr int64_t kWaitLimitMilliseconds = 30000;

// A clock that stands still until someone sleeps; then it advances by the
// sleep. An optional hook runs inside each sleep, as another caller would.
int64_t g_fakeNow = 0;
int64_t g_sleepCalls = 0;
int64_t g_nonStandardSleeps = 0;
void (*g_duringSleep)() = nullptr;

void FakeSleep(int32_t milliseconds) {
  ++g_sleepCalls;
  if (milliseconds != 1) ++g_nonStandardSleeps;
  g_fakeNow += milliseconds;
  if (g_duringSleep != nullptr) g_duringSleep();
}

int64_t FakeNow() { return g_fakeNow; }

int CountCalls(const std::string& name) {
  const std::vector<std::string> calls = RecordedCalls();
  return int(std::count(calls.begin(), calls.end(), name));
}

void ScriptCheck(const std::vector<int32_t>& results, int32_t thereafter) {
  PCI_FRM01_SimScriptCheck(results.data(), int32_t(results.size()), thereafter);
}

void UseDefaultCheck() { PCI_FRM01_SimScriptCheck(nullptr, 0, PCI_FRM01_SIM_DEFAULT); }

// A raw frame whose every read word holds `value`.
std::vector<uint8_t> FlatRawFrame(uint16_t value) {
  std::vector<uint16_t> words(size_t(tavrix::kRawLineWords) * tavrix::kRawLineCount, value);
  std::vector<uint8_t> bytes(words.size() * 2);
  for (size_t i = 0; i < words.size(); ++i) {
    bytes[2 * i] = uint8_t(words[i] & 0xFF);
    bytes[2 * i + 1] = uint8_t(words[i] >> 8);
  }
  return bytes;
}

class RunCommandTest : public DetectorTest {
 protected:
  void SetUp() override {
    g_fakeNow = 0;
    g_sleepCalls = 0;
    g_nonStandardSleeps = 0;
    g_duringSleep = nullptr;
    previous_ = tavrix::ReplaceWaitFunctions({FakeSleep, FakeNow});
    DetectorTest::SetUp();
  }
  void TearDown() override {
    DetectorTest::TearDown();
    tavrix::ReplaceWaitFunctions(previous_);
    g_duringSleep = nullptr;
  }

  // Whether the detector is armed, told by the one probe that changes nothing
  // when it is: an arming is refused only while armed. A disarmed detector
  // gets armed by the probe and is cancelled again.
  static bool IsArmed() {
    if (RunforDetector(kArm) == 0) return true;
    RunforDetector(kCancel);
    return false;
  }

 private:
  tavrix::WaitFunctions previous_{};
};

enum class State { Disarmed, Armed };

struct CommandRow {
  State before;
  int32_t command;
  int32_t expectedResult;
  State after;
  bool captures;  // the frame grabber delivers one frame
};

std::string Describe(const CommandRow& row) {
  return std::string(row.before == State::Armed ? "armed" : "disarmed") + ", command " +
         std::to_string(row.command);
}

TEST_F(RunCommandTest, EveryRowOfTheStateTableGivesItsResultAndNextState) {
  const CommandRow rows[] = {
      {State::Disarmed, kArm, 1, State::Armed, false},
      {State::Armed, kArm, 0, State::Armed, false},
      {State::Disarmed, kAcquire, 0, State::Disarmed, false},
      {State::Armed, kAcquire, 1, State::Disarmed, true},
      {State::Disarmed, kCancel, 1, State::Disarmed, false},
      {State::Armed, kCancel, 1, State::Disarmed, false},
      {State::Disarmed, 0, 0, State::Disarmed, false},
      {State::Armed, 0, 0, State::Armed, false},
      {State::Disarmed, 4, 0, State::Disarmed, false},
      {State::Armed, 4, 0, State::Armed, false},
      {State::Disarmed, -1, 0, State::Disarmed, false},
      {State::Armed, -1, 0, State::Armed, false},
      {State::Disarmed, INT_MAX, 0, State::Disarmed, false},
      {State::Armed, INT_MAX, 0, State::Armed, false},
      {State::Disarmed, INT_MIN, 0, State::Disarmed, false},
      {State::Armed, INT_MIN, 0, State::Armed, false},
  };
  for (const CommandRow& row : rows) {
    SCOPED_TRACE(Describe(row));
    RunforDetector(kCancel);
    if (row.before == State::Armed) {
      ASSERT_EQ(RunforDetector(kArm), 1);
    }
    PCI_FRM01_SimClearCallLog();
    const int32_t framesBefore = PCI_FRM01_SimFramesDelivered();

    EXPECT_EQ(RunforDetector(row.command), row.expectedResult);

    EXPECT_EQ(PCI_FRM01_SimFramesDelivered() - framesBefore, row.captures ? 1 : 0);
    if (!row.captures) {
      EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string());
    }
    EXPECT_EQ(IsArmed(), row.after == State::Armed);
  }
}

TEST_F(RunCommandTest, ArmedAcquisitionStartsWaitsReadsInOrder) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  ScriptCheck({0, 0, 0, 1}, 0);
  PCI_FRM01_SimClearCallLog();

  ASSERT_EQ(RunforDetector(kAcquire), 1);

  EXPECT_EQ(RecordedCalls(),
            (std::vector<std::string>{"LVDS_Start", "LVDS_Check", "LVDS_Check", "LVDS_Check",
                                      "LVDS_Check", "LVDS_GetFrame(16204480)"}));
  // One 1 ms sleep between consecutive polls of each wait.
  EXPECT_EQ(g_sleepCalls, 2);
  EXPECT_EQ(g_nonStandardSleeps, 0);
}

TEST_F(RunCommandTest, StaleReadyReportIsWaitedOutBeforeTheNewFrameIsRead) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  // Ready reports still standing from before the start, then the transfer.
  ScriptCheck({1, 1, 1, 0, 0, 1}, 1);
  PCI_FRM01_SimClearCallLog();

  ASSERT_EQ(RunforDetector(kAcquire), 1);

  EXPECT_EQ(RecordedCalls(),
            (std::vector<std::string>{"LVDS_Start", "LVDS_Check", "LVDS_Check", "LVDS_Check",
                                      "LVDS_Check", "LVDS_Check", "LVDS_Check",
                                      "LVDS_GetFrame(16204480)"}));
  EXPECT_EQ(g_sleepCalls, 4);
}

TEST_F(RunCommandTest, AcquisitionDeliversTheGrabbersFrameCorrectedAndMasked) {
  const uint16_t level = 1000;
  const std::vector<uint8_t> frame = FlatRawFrame(level);
  PCI_FRM01_SimInjectFrame(frame.data(), int32_t(frame.size()));
  ASSERT_EQ(RunforDetector(kArm), 1);
  ASSERT_EQ(RunforDetector(kAcquire), 1);

  const uint16_t* image = SaveRawImage();
  ASSERT_NE(image, nullptr);
  // Neutral maps leave a flat frame flat away from the border and the
  // unread middle columns.
  EXPECT_EQ(image[size_t(1000) * TAVRIX_IMAGE_WIDTH + 500], level);
  EXPECT_EQ(image[size_t(2500) * TAVRIX_IMAGE_WIDTH + 2600], level);
  EXPECT_EQ(image[0], 16383);
  EXPECT_EQ(image[size_t(TAVRIX_IMAGE_HEIGHT) * TAVRIX_IMAGE_WIDTH - 1], 16383);
}

// Panel 1's map repairs a pixel in the data-less middle columns, panel 0's a
// pixel beside it that reads that column: panel 0's image must not depend on
// what panel 1's last image left there.
TEST_F(RunCommandTest, ImageDoesNotDependOnTheOtherPanelsLastImage) {
  const size_t row = 1000;
  std::vector<uint8_t> panel0(size_t(tavrix::kPixelMapBytes), 0);
  std::vector<uint8_t> panel1(size_t(tavrix::kPixelMapBytes), 0);
  panel0[row * tavrix::kMapWidth + tavrix::kReadoutColumns - 1] = 1;
  panel1[row * tavrix::kMapWidth + tavrix::kReadoutColumns] = 1;
  TemporaryFile map0(panel0), map1(panel1);
  ASSERT_EQ(LoadPixelMap(map0.path(), 0), 1);
  ASSERT_EQ(LoadPixelMap(map1.path(), 1), 1);
  const std::vector<uint8_t> frame = FlatRawFrame(1000);
  auto acquire = [&frame] {
    PCI_FRM01_SimInjectFrame(frame.data(), int32_t(frame.size()));
    EXPECT_EQ(RunforDetector(kArm), 1);
    EXPECT_EQ(RunforDetector(kAcquire), 1);
    const uint16_t* image = SaveRawImage();
    return std::vector<uint16_t>(image, image + size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT);
  };

  const std::vector<uint16_t> first = acquire();
  ASSERT_EQ(PanelSelect(1), 1);
  const std::vector<uint16_t> otherPanel = acquire();
  ASSERT_NE(otherPanel[row * TAVRIX_IMAGE_WIDTH + tavrix::kReadoutColumns], 0) << "panel 1's repair left nothing";
  ASSERT_EQ(PanelSelect(0), 0);
  const std::vector<uint16_t> again = acquire();
  EXPECT_EQ(again[row * TAVRIX_IMAGE_WIDTH + tavrix::kReadoutColumns - 1],
            first[row * TAVRIX_IMAGE_WIDTH + tavrix::kReadoutColumns - 1]);
  EXPECT_TRUE(again == first) << "the same frame and maps gave another image after the other panel's";
}

TEST_F(RunCommandTest, EachArmingAdmitsExactlyOneAcquisition) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  PCI_FRM01_SimClearCallLog();
  EXPECT_EQ(RunforDetector(kAcquire), 0);
  EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string());

  EXPECT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 2);
}

TEST_F(RunCommandTest, AcquireWithoutArmingLeavesTheFrameGrabberUntouched) {
  // Right after creation, after a cancel, and after a refused second arming
  // was cancelled.
  EXPECT_EQ(RunforDetector(kAcquire), 0);
  ASSERT_EQ(RunforDetector(kArm), 1);
  ASSERT_EQ(RunforDetector(kCancel), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 0);
  ASSERT_EQ(RunforDetector(kArm), 1);
  ASSERT_EQ(RunforDetector(kArm), 0);
  ASSERT_EQ(RunforDetector(kCancel), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 0);

  EXPECT_EQ(CountCalls("LVDS_Start"), 0);
  EXPECT_EQ(CountCalls("LVDS_Check"), 0);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 0);
}

TEST_F(RunCommandTest, ArmThenCancelThenAcquireReturnsOneOneZero) {
  EXPECT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kCancel), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 0);
}

TEST_F(RunCommandTest, CommandsOutsideOneToThreeKeepAnArmedDetectorArmedAndAcquiring) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  for (int32_t command : {0, 4, -1, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(RunforDetector(command), 0);
  }
  EXPECT_EQ(RunforDetector(kAcquire), 1);
}

TEST_F(RunCommandTest, AcquisitionWithoutGrabberDeviceStillCallsTheGrabber) {
  Sys_Free();
  PCI_FRM01_SimReset();
  PCI_FRM01_SimScriptOpen(-1);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  ASSERT_EQ(CheckFrameGrabber(), 0);
  PCI_FRM01_SimClearCallLog();

  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(CountCalls("LVDS_Start"), 1);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 1);
}

struct StuckGrabber {
  const char* name;
  int32_t checkForever;
};

void PrintTo(const StuckGrabber& grabber, std::ostream* out) { *out << grabber.name; }

class BoundedWaitTest : public RunCommandTest,
                        public ::testing::WithParamInterface<StuckGrabber> {};

TEST_P(BoundedWaitTest, GivesUpAfterTheBoundDisarmedWithImageBlack) {
  uint16_t* image = SaveRawImage();
  ASSERT_NE(image, nullptr);
  const size_t pixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;
  for (size_t i = 0; i < pixels; ++i) image[i] = uint16_t(i * 7919u);

  ASSERT_EQ(RunforDetector(kArm), 1);
  ScriptCheck({}, GetParam().checkForever);
  PCI_FRM01_SimClearCallLog();
  const int64_t start = g_fakeNow;

  EXPECT_EQ(RunforDetector(kAcquire), 0);

  const int64_t waited = g_fakeNow - start;
  EXPECT_GE(waited, kWaitLimitMilliseconds);
  EXPECT_LE(waited, kWaitLimitMilliseconds + 1);
  EXPECT_EQ(g_nonStandardSleeps, 0);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 0);
  EXPECT_TRUE(std::all_of(image, image + pixels, [](uint16_t v) { return v == 0; }))
      << "an image no exposure made is left for the host after a time-out";
  EXPECT_FALSE(IsArmed());

  // The failed acquisition left nothing behind that blocks the next one.
  UseDefaultCheck();
  EXPECT_EQ(RunforDetector(kAcquire), 0);
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 1);
}

INSTANTIATE_TEST_SUITE_P(StuckGrabbers, BoundedWaitTest,
                         ::testing::Values(StuckGrabber{"NeverReportsAFrame", 0},
                                           StuckGrabber{"NeverClearsAStaleReport", 1}),
                         [](const ::testing::TestParamInfo<StuckGrabber>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(RunCommandTest, WaitForTheFrameIsNotCutShortBeforeTheBound) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  // A slow grabber that clears its stale report and reports the frame well
  // inside the bound of each wait.
  std::vector<int32_t> script(20000, 1);
  script.insert(script.end(), 20000, 0);
  script.push_back(1);
  ScriptCheck(script, 1);

  EXPECT_EQ(RunforDetector(kAcquire), 1);
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 1);
}

// A second caller that comes in while an acquisition waits for its frame.
int32_t g_secondArm = -100;
int32_t g_secondAcquire = -100;
int32_t g_startsSeenBySecondCaller = -1;

void SecondCaller() {
  g_duringSleep = nullptr;  // once
  g_startsSeenBySecondCaller = CountCalls("LVDS_Start");
  g_secondArm = RunforDetector(kArm);
  g_secondAcquire = RunforDetector(kAcquire);
  g_startsSeenBySecondCaller = CountCalls("LVDS_Start") - g_startsSeenBySecondCaller;
}

TEST_F(RunCommandTest, SecondAcquisitionWhileOneRunsIsRefusedAndDisarms) {
  ASSERT_EQ(RunforDetector(kArm), 1);
  g_duringSleep = SecondCaller;

  EXPECT_EQ(RunforDetector(kAcquire), 1);

  EXPECT_EQ(g_secondArm, 0) << "arming accepted while armed";
  EXPECT_EQ(g_secondAcquire, 0) << "second acquisition admitted";
  EXPECT_EQ(g_startsSeenBySecondCaller, 0) << "second acquisition touched the grabber";
  EXPECT_EQ(PCI_FRM01_SimFramesDelivered(), 1);
  EXPECT_FALSE(IsArmed());
  // The running acquisition ended, so the detector is usable again.
  ASSERT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
}

class BusyDetectorTest : public SimulatorTest {};

TEST_F(BusyDetectorTest, BusyDetectorRefusesAcquisitionAndDropsTheArming) {
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const tavrix::DetectorProbe probe(detector);
  ASSERT_EQ(detector.RunCommand(kArm), 1);
  probe.Busy() = 1;
  PCI_FRM01_SimClearCallLog();

  EXPECT_EQ(detector.RunCommand(kArm), 0);
  EXPECT_EQ(detector.RunCommand(kAcquire), 0);

  EXPECT_EQ(probe.Armed(), 0);
  EXPECT_EQ(probe.ArmedByte(), 0);
  EXPECT_EQ(probe.Busy(), 1) << "the running acquisition owns the flag";
  EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string());
}

TEST_F(BusyDetectorTest, ArmedWordWithoutArmedByteAdmitsNoAcquisition) {
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const tavrix::DetectorProbe probe(detector);
  probe.Armed() = 1;
  probe.ArmedByte() = 0;
  PCI_FRM01_SimClearCallLog();

  EXPECT_EQ(detector.RunCommand(kAcquire), 0);
  EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string());
  EXPECT_EQ(probe.Armed(), 0);
  EXPECT_EQ(probe.Busy(), 0);
}

TEST_F(BusyDetectorTest, ArmAndCancelWriteBothArmedFlagsTogether) {
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const tavrix::DetectorProbe probe(detector);
  probe.ArmedByte() = 0x5A;  // creation leaves it unset
  ASSERT_EQ(detector.RunCommand(kArm), 1);
  EXPECT_EQ(probe.Armed(), 1);
  EXPECT_EQ(probe.ArmedByte(), 1);
  EXPECT_EQ(probe.Busy(), 0);
  ASSERT_EQ(detector.RunCommand(kCancel), 1);
  EXPECT_EQ(probe.Armed(), 0);
  EXPECT_EQ(probe.ArmedByte(), 0);
}

}  // namespace
}  // namespace tavrix_test
