// The simulated panel against the readout: the frames it composes must come
// out of the readout exactly where its model puts each pixel, and its
// calibration maps must let the correction restore the phantom.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "correction/border_mask.h"
#include "detector/detector.h"
#include "platform/dimensions.h"
#include "panel_model.h"
#include "simulated_panel.h"
#include "support/detector_fixture.h"

namespace tavrix_test {
namespace {

using pci_frm01_sim::PanelReading;
using pci_frm01_sim::PhantomSignal;

constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kFirstInnerLine = tavrix::kBorderMaskWidth;
constexpr int32_t kLastInnerLine = tavrix::kImageWidth - 1 - tavrix::kBorderMaskWidth;

bool CarriesPanelData(int32_t column) {
  return column < tavrix::kReadoutColumns || column >= tavrix::kImageWidth - tavrix::kReadoutColumns;
}

uint16_t Pixel(const uint16_t* image, int32_t row, int32_t column) {
  return image[size_t(row) * tavrix::kImageWidth + size_t(column)];
}

// Arms and acquires one frame through the exports; the library's image.
const uint16_t* Acquire() {
  EXPECT_EQ(RunforDetector(kArm), 1);
  EXPECT_EQ(RunforDetector(kAcquire), 1);
  return SaveRawImage();
}

// How far a corrected pixel may lie from the phantom: the panel's noise,
// divided by a gain of at least 0.96, and a little for interpolation. A
// rebuilt line follows a disc's edge less closely where it crosses it.
int32_t Tolerance(double signal) { return int32_t(40.0 + 0.03 * signal); }
int32_t LineTolerance(double signal) { return int32_t(40.0 + 0.08 * signal); }

TEST_F(SimulatorTest, ReadoutPutsEveryComposedPixelWhereThePanelModelHasIt) {
  tavrix::Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  detector.ReadFrame(detector.Image());  // the simulator's first frame, index 0
  int32_t mismatches = 0;
  for (int32_t r = 0; r < tavrix::kImageHeight; r += 3) {
    for (int32_t c = 0; c < tavrix::kImageWidth; ++c) {
      const uint16_t expected = CarriesPanelData(c) ? PanelReading(r, c, 0) : 0;
      if (Pixel(detector.Image(), r, c) != expected && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << r << ", " << c << ") reads " << Pixel(detector.Image(), r, c) << ", the panel has "
                      << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Each defective pixel sits at its own place, not at a mirrored one.
  for (const pci_frm01_sim::DefectivePixel& defect : pci_frm01_sim::kDefectivePixels) {
    EXPECT_EQ(Pixel(detector.Image(), defect.row, defect.column), defect.reading)
        << "defect at (" << defect.row << ", " << defect.column << ")";
  }
}

TEST_F(DetectorTest, UncorrectedExposureShowsThePhantomUprightInEveryQuadrant) {
  // Neutral maps: the correction only filters outliers and masks the border.
  const uint16_t* image = Acquire();
  ASSERT_NE(image, nullptr);
  struct Probe {
    int32_t row, column;
    uint16_t low, high;
  };
  const Probe probes[] = {
      {800, 700, 8000, 9300},     // top-left disc: left column, top half
      {700, 2450, 7000, 8300},    // top-right disc: right column, top half
      {2350, 2500, 11000, 12600}, // bottom-right disc, the brightest
      {2300, 800, 1200, 2300},    // bottom-left absorber
      {100, 100, 2000, 2500},     // darkest corner of the background
      {3000, 3000, 4000, 4800},   // brightest corner of the background
  };
  for (const Probe& p : probes) {
    const uint16_t value = Pixel(image, p.row, p.column);
    EXPECT_EQ(value, PanelReading(p.row, p.column, 0)) << "at (" << p.row << ", " << p.column << ")";
    EXPECT_GE(value, p.low) << "at (" << p.row << ", " << p.column << ")";
    EXPECT_LE(value, p.high) << "at (" << p.row << ", " << p.column << ")";
  }
  // The dark lines read a fraction of their neighbours: the left half of
  // their row only, and the whole column.
  const int32_t row = pci_frm01_sim::kDarkHalfRow;
  const int32_t column = pci_frm01_sim::kDarkColumn;
  EXPECT_LT(Pixel(image, row, 500), Pixel(image, row - 1, 500) / 2);
  EXPECT_GT(Pixel(image, row, 2500), Pixel(image, row - 1, 2500) * 9 / 10);
  EXPECT_LT(Pixel(image, 300, column), Pixel(image, 300, column + 1) / 2);
  EXPECT_LT(Pixel(image, 2800, column), Pixel(image, 2800, column - 1) / 2);
}

TEST(SimulatedPanelModel, DefectsLieWhereTheCorrectionReachesThem) {
  // Pixels inside the masked border or in the columns without data would
  // never show whether the maps work; line repairs reach only lines 10..3061.
  for (const pci_frm01_sim::DefectivePixel& defect : pci_frm01_sim::kDefectivePixels) {
    EXPECT_GE(defect.row, kFirstInnerLine);
    EXPECT_LE(defect.row, kLastInnerLine);
    EXPECT_GE(defect.column, kFirstInnerLine);
    EXPECT_LE(defect.column, kLastInnerLine);
    EXPECT_TRUE(CarriesPanelData(defect.column)) << "column " << defect.column;
  }
  EXPECT_GE(pci_frm01_sim::kDarkHalfRow, 10);
  EXPECT_LE(pci_frm01_sim::kDarkHalfRow, tavrix::kImageHeight - 11);
  EXPECT_GE(pci_frm01_sim::kDarkColumn, 10);
  EXPECT_LE(pci_frm01_sim::kDarkColumn, tavrix::kImageWidth - 11);
  EXPECT_TRUE(CarriesPanelData(pci_frm01_sim::kDarkColumn));
}

TEST(SimulatedPanelMaps, PixelMapFlagsExactlyTheDefectsAndGainMapUndoesTheGain) {
  std::vector<uint8_t> pixelMap(tavrix::kPixelMapBytes, 0xAA);
  pci_frm01_sim::BuildPixelMap(pixelMap.data());
  size_t flagged = 0;
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r) {
    for (int32_t c = 0; c < tavrix::kImageWidth; ++c) flagged += pixelMap[size_t(r) * tavrix::kMapWidth + c] != 0;
  }
  EXPECT_EQ(flagged, std::size(pci_frm01_sim::kDefectivePixels));
  for (const pci_frm01_sim::DefectivePixel& defect : pci_frm01_sim::kDefectivePixels) {
    EXPECT_EQ(pixelMap[size_t(defect.row) * tavrix::kMapWidth + defect.column], defect.code);
  }
  size_t rowFlags = 0, columnFlags = 0;
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r) rowFlags += pixelMap[size_t(r) * tavrix::kMapWidth + tavrix::kImageWidth] != 0;
  for (int32_t c = 0; c < tavrix::kImageWidth; ++c) columnFlags += pixelMap[size_t(tavrix::kImageHeight) * tavrix::kMapWidth + c] != 0;
  EXPECT_EQ(rowFlags, 1u);
  EXPECT_EQ(columnFlags, 1u);
  EXPECT_EQ(pixelMap[size_t(pci_frm01_sim::kDarkHalfRow) * tavrix::kMapWidth + tavrix::kImageWidth], 2)
      << "the dark half is the left one";
  EXPECT_NE(pixelMap[size_t(tavrix::kImageHeight) * tavrix::kMapWidth + pci_frm01_sim::kDarkColumn], 0);

  std::vector<float> gainMap(tavrix::kImagePixels, 0.0f);
  pci_frm01_sim::BuildGainMap(gainMap.data());
  float lowest = 2.0f, highest = 0.0f;
  for (int32_t r = 0; r < tavrix::kImageHeight; r += 7) {
    for (int32_t c = 0; c < tavrix::kImageWidth; c += 5) {
      const float gain = gainMap[size_t(r) * tavrix::kImageWidth + c];
      EXPECT_NEAR(double(gain) * pci_frm01_sim::PixelGain(r, c), 1.0, 1e-6);
      lowest = std::min(lowest, gain);
      highest = std::max(highest, gain);
    }
  }
  // A few percent either way, not a flat map.
  EXPECT_GT(lowest, 0.94f);
  EXPECT_LT(lowest, 0.98f);
  EXPECT_GT(highest, 1.02f);
  EXPECT_LT(highest, 1.06f);
}

TEST_F(DetectorTest, CorrectionWithThePanelsMapsRestoresThePhantom) {
  std::vector<uint8_t> pixelBytes(tavrix::kPixelMapBytes);
  pci_frm01_sim::BuildPixelMap(pixelBytes.data());
  std::vector<float> gains(tavrix::kImagePixels);
  pci_frm01_sim::BuildGainMap(gains.data());
  const auto* gainBytes = reinterpret_cast<const uint8_t*>(gains.data());  // the file's order on this host
  TemporaryFile pixelMap(pixelBytes);
  TemporaryFile gainMap(std::vector<uint8_t>(gainBytes, gainBytes + tavrix::kGainMapBytes));
  ASSERT_EQ(LoadPixelMap(pixelMap.path(), 0), 1);
  ASSERT_EQ(LoadGainMap(gainMap.path(), 0), 1);
  ASSERT_EQ(PanelSelect(0), 0);
  const uint16_t* image = Acquire();
  ASSERT_NE(image, nullptr);

  auto expectPhantom = [image](int32_t row, int32_t column, int32_t (*tolerance)(double)) {
    const double signal = PhantomSignal(row, column);
    EXPECT_NEAR(Pixel(image, row, column), signal, tolerance(signal)) << "at (" << row << ", " << column << ")";
  };
  for (const pci_frm01_sim::DefectivePixel& defect : pci_frm01_sim::kDefectivePixels) {
    expectPhantom(defect.row, defect.column, Tolerance);
  }
  for (int32_t c = kFirstInnerLine; c < tavrix::kReadoutColumns; c += 7) {
    expectPhantom(pci_frm01_sim::kDarkHalfRow, c, LineTolerance);
  }
  for (int32_t r = kFirstInnerLine; r <= kLastInnerLine; r += 7) {
    expectPhantom(r, pci_frm01_sim::kDarkColumn, LineTolerance);
  }
  // And everywhere else the gain pattern is gone.
  for (int32_t r = kFirstInnerLine; r <= kLastInnerLine; r += 101) {
    for (int32_t c = kFirstInnerLine; c <= kLastInnerLine; c += 53) {
      if (CarriesPanelData(c)) expectPhantom(r, c, Tolerance);
    }
  }
}

}  // namespace
}  // namespace tavrix_test
