#include <string>
#include <vector>

#include "support/detector_fixture.h"

namespace tavrix_test {
namespace {

using FrameGrabberCalls = SimulatorTest;
using Calls = std::vector<std::string>;

const Calls kOpenSequence = {"OpenDAQDevice", "LVDS_Init", "UART_Init", "LVDS_SetModel(1)"};
const Calls kCloseSequence = {"LVDS_Close", "UART_Close", "CloseDAQDevice"};

TEST_F(FrameGrabberCalls, CreationOpensInitialisesAndStartsAnOpenedDevice) {
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  Calls expected = kOpenSequence;
  expected.push_back("LVDS_Start");
  EXPECT_EQ(RecordedCalls(), expected);
  EXPECT_EQ(CheckFrameGrabber(), 1);
}

TEST_F(FrameGrabberCalls, CreationWithoutDeviceStillInitialisesButDoesNotStart) {
  PCI_FRM01_SimScriptOpen(-1);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  EXPECT_EQ(RecordedCalls(), kOpenSequence);
  EXPECT_EQ(CheckFrameGrabber(), 0);
}

TEST_F(FrameGrabberCalls, AnyOpenResultButMinusOneCountsAsOpened) {
  PCI_FRM01_SimScriptOpen(0);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  EXPECT_EQ(CheckFrameGrabber(), 1);
  ASSERT_EQ(Sys_Free(), 1);
  PCI_FRM01_SimScriptOpen(-2);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  EXPECT_EQ(CheckFrameGrabber(), 1);
}

TEST_F(FrameGrabberCalls, ReleaseClosesInOrderWhetherOrNotTheOpenWorked) {
  for (int32_t openResult : {1, -1}) {
    PCI_FRM01_SimReset();
    PCI_FRM01_SimScriptOpen(openResult);
    ASSERT_EQ(Sys_Allocation_1417(), 1);
    PCI_FRM01_SimClearCallLog();
    ASSERT_EQ(Sys_Free(), 1);
    EXPECT_EQ(RecordedCalls(), kCloseSequence) << "open result " << openResult;
  }
}

TEST_F(FrameGrabberCalls, RecreationOpensTheGrabberAgain) {
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  ASSERT_EQ(Sys_Free(), 1);
  PCI_FRM01_SimClearCallLog();
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  const std::vector<std::string> calls = RecordedCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "OpenDAQDevice");
}

}  // namespace
}  // namespace tavrix_test
