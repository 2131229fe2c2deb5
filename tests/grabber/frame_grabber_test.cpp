#include <algorithm>
#include <string>
#include <vector>

#include "grabber/pci_frm01.h"
#include "interface/tavrix_internal.h"
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

// Queued frames come out in order, each whole, whatever storage the
// simulator reuses for them: a short one is padded with zeros, not with the
// bytes of the frame whose storage it took.
TEST_F(FrameGrabberCalls, QueuedFramesArriveInOrderAndAShortOneIsPaddedWithZeros) {
  const size_t whole = size_t(tavrix::kRawFrameBytes);
  auto deliver = [whole] {
    std::vector<uint8_t> out(whole, 0xEE);
    int32_t bytes = int32_t(whole);
    EXPECT_EQ(LVDS_GetFrame(&bytes, out.data()), 0);
    return out;
  };
  const std::vector<uint8_t> first(whole, 1), shorter(whole / 2, 2), third(whole, 3);
  PCI_FRM01_SimInjectFrame(first.data(), int32_t(first.size()));
  EXPECT_EQ(deliver(), first);
  PCI_FRM01_SimInjectFrame(shorter.data(), int32_t(shorter.size()));
  PCI_FRM01_SimInjectFrame(third.data(), int32_t(third.size()));
  const std::vector<uint8_t> second = deliver();
  EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), second.begin()));
  EXPECT_TRUE(std::all_of(second.begin() + ptrdiff_t(shorter.size()), second.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(deliver(), third);
}

}  // namespace
}  // namespace tavrix_test
