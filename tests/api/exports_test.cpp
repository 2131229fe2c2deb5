#include <climits>
#include <cstdint>

#include "support/detector_fixture.h"

namespace tavrix_test {
namespace {

using ExportsWithoutDetector = SimulatorTest;

TEST_F(ExportsWithoutDetector, EveryExportGivesItsNoDetectorResult) {
  ExpectEveryExportWithoutDetector("before creation");
  EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string()) << "no export may reach the frame grabber";
}

TEST_F(ExportsWithoutDetector, ExportsAfterReleaseBehaveAsBeforeCreation) {
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  ASSERT_EQ(Sys_Free(), 1);
  ExpectEveryExportWithoutDetector("after release");
}

TEST_F(ExportsWithoutDetector, CreationWithoutFrameGrabberSucceedsAndSaysSo) {
  PCI_FRM01_SimScriptOpen(-1);
  ASSERT_EQ(Sys_Allocation_1417(), 1);
  EXPECT_EQ(CheckFrameGrabber(), 0);
  EXPECT_NE(SaveRawImage(), nullptr);
}

TEST_F(ExportsWithoutDetector, ManyCreateReleaseCyclesLeaveNothingBehind) {
  // Run under the sanitizer build, the leak checker sees any buffer left over.
  for (int cycle = 0; cycle < 200; ++cycle) {
    ASSERT_EQ(Sys_Allocation_1417(), 1) << "cycle " << cycle;
    ASSERT_EQ(Sys_Free(), 1) << "cycle " << cycle;
  }
}

using ExportsWithDetector = DetectorTest;

TEST_F(ExportsWithDetector, SecondCreationIsRefusedAndKeepsTheFirstObject) {
  uint16_t* image = SaveRawImage();
  ASSERT_EQ(PanelSelect(1), 1);
  EXPECT_EQ(Sys_Allocation_1417(), -1);
  EXPECT_EQ(PanelSelect(7), 1) << "the first object's panel must survive";
  EXPECT_EQ(SaveRawImage(), image);
  EXPECT_EQ(PCI_FRM01_SimCallLog(), std::string()) << "a refused creation must not reopen the grabber";
}

TEST_F(ExportsWithDetector, PanelSelectKeepsThePanelForValuesOtherThanZeroAndOne) {
  EXPECT_EQ(PanelSelect(2), 0);
  EXPECT_EQ(PanelSelect(1), 1);
  for (int32_t invalid : {2, -1, INT_MIN, INT_MAX}) EXPECT_EQ(PanelSelect(invalid), 1) << invalid;
  EXPECT_EQ(PanelSelect(0), 0);
  EXPECT_EQ(PanelSelect(-1), 0);
}

TEST_F(ExportsWithDetector, ResultsWithADetector) {
  EXPECT_EQ(CheckFrameGrabber(), 1);
  EXPECT_EQ(GetMsgLength(), 64);
  EXPECT_EQ(GetTemperature(), 0);
  EXPECT_EQ(CheckSwitch(), -1);
  EXPECT_EQ(GetSwitchMsg(0), 0);
}

TEST_F(ExportsWithDetector, ImageAddressStaysTheSameAcrossAcquisitions) {
  uint16_t* image = SaveRawImage();
  ASSERT_NE(image, nullptr);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(RunforDetector(1), 1);
    ASSERT_EQ(RunforDetector(2), 1);
    EXPECT_EQ(SaveRawImage(), image);
  }
}

TEST_F(ExportsWithDetector, EnhancementRefusesNullImages) {
  uint16_t* image = SaveRawImage();
  EXPECT_EQ(Enhancement(nullptr, image, 5, 10, 3, 10), 0);
  EXPECT_EQ(Enhancement(image, nullptr, 5, 10, 3, 10), 0);
}

}  // namespace
}  // namespace tavrix_test
