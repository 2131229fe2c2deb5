#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "calibration/calibration_analysis.h"
#include "calibration/calibration_frames.h"
#include "calibration_scene.h"
#include "simulated_panel.h"
#include "tavrix_internal.h"

namespace tavrix_tool {
namespace {

using pci_frm01_sim::SceneKind;
using pci_frm01_sim::SceneStep;
using tavrix::internal::IsDatalessColumn;
using tavrix::kImagePixels;
using tavrix::kImageWidth;
using tavrix::kMapWidth;

size_t At(int32_t r, int32_t c) { return size_t(r) * kImageWidth + size_t(c); }

TEST(CalibrationScene, ParsesSchedulesAndCyclesThroughThem) {
  std::vector<SceneStep> steps;
  std::string error;
  ASSERT_TRUE(pci_frm01_sim::ParseSceneSchedule("dark*2,flat:0.2*3,phantom:0.5*1", steps, error)) << error;
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[1].kind, SceneKind::kFlat);
  EXPECT_DOUBLE_EQ(steps[1].dose, 0.2);
  EXPECT_EQ(pci_frm01_sim::StepOfFrame(steps, 1).kind, SceneKind::kDark);
  EXPECT_EQ(pci_frm01_sim::StepOfFrame(steps, 4).kind, SceneKind::kFlat);
  EXPECT_EQ(pci_frm01_sim::StepOfFrame(steps, 5).kind, SceneKind::kPanelPhantom);
  EXPECT_EQ(pci_frm01_sim::StepOfFrame(steps, 6).kind, SceneKind::kDark);  // starts over
  EXPECT_FALSE(pci_frm01_sim::ParseSceneSchedule("flat", steps, error));
  EXPECT_FALSE(pci_frm01_sim::ParseSceneSchedule("dark*4,flat:0.7", steps, error));
  EXPECT_FALSE(pci_frm01_sim::ParseSceneSchedule("flat:-1", steps, error));
}

TEST(CalibrationScene, PhantomSceneIsTheFixedPanelBitForBit) {
  const pci_frm01_sim::CalibrationPanel panel(5);
  std::vector<uint8_t> scene(size_t(tavrix::kRawFrameBytes)), legacy(size_t(tavrix::kRawFrameBytes));
  panel.ComposeRawFrame({SceneKind::kPhantom, 0.0, 0}, 3, scene.data());
  pci_frm01_sim::ComposeRawFrame(legacy.data(), 3);
  EXPECT_EQ(scene, legacy);
}

TEST(CalibrationScene, TruthMatchesWhatThePanelReads) {
  const pci_frm01_sim::CalibrationPanel panel(9);
  const SceneStep flat{SceneKind::kFlat, 0.5, 0};
  size_t dead = 0, lines = 0;
  for (int32_t r = 0; r < tavrix::kImageHeight; r += 1)
    for (int32_t c = 0; c < kImageWidth; c += 1) {
      const auto defect = panel.PixelClass(r, c);
      if (defect == pci_frm01_sim::DefectClass::kDead) {
        ++dead;
        EXPECT_LT(panel.MeanReading(flat, r, c) - panel.Offset(r, c), 100.0) << r << "," << c;
      }
      if (defect == pci_frm01_sim::DefectClass::kLine) ++lines;
    }
  EXPECT_GT(dead, 100u);
  EXPECT_EQ(panel.RowFlag(panel.LeftHalfRow()) & 2, 2);
  EXPECT_EQ(panel.RowFlag(panel.RightHalfRow()) & 1, 1);
  EXPECT_EQ(panel.ColumnFlag(panel.DefectiveColumn()), 1);
  EXPECT_GE(std::abs(panel.LeftHalfRow() - panel.RightHalfRow()), 4);
  EXPECT_GT(lines, 3000u);
  // A good pixel's mean over many frames approaches its mean reading.
  double sum = 0;
  for (uint32_t k = 0; k < 64; ++k) sum += panel.Reading(flat, 1000, 1000, k);
  if (panel.PixelClass(1000, 1000) == pci_frm01_sim::DefectClass::kNone) {
    EXPECT_NEAR(sum / 64, panel.MeanReading(flat, 1000, 1000), 12.0);
  }
}

TEST(FrameSetAccumulator, RejectsAnOutlierAndDropsFullScaleSamples) {
  FrameSetAccumulator accumulator;
  std::vector<uint16_t> image(kImagePixels, 0);
  for (int k = 0; k < 10; ++k) {
    image[0] = uint16_t(1000 + (k % 3));      // steady
    image[1] = k == 4 ? 5000 : 1000;          // one hit
    image[2] = 16383;                         // always at full scale
    image[3] = k < 3 ? 16383 : 2000;          // sometimes
    accumulator.Add(image.data());
  }
  const FrameSetStats stats = accumulator.Finish();
  EXPECT_EQ(stats.frames, 10);
  EXPECT_NEAR(stats.mean[0], 1000.9, 0.01);
  EXPECT_FLOAT_EQ(stats.mean[1], 1000.0f);
  EXPECT_FLOAT_EQ(stats.deviation[1], 0.0f);
  EXPECT_EQ(stats.saturated[2], 1);
  EXPECT_FLOAT_EQ(stats.mean[3], 2000.0f);
  EXPECT_EQ(stats.saturated[3], 0);
}

TEST(FrameSetAccumulator, FindsTheMedianDeviationWithoutKeepingTheDeviations) {
  FrameSetAccumulator accumulator;
  std::vector<uint16_t> image(kImagePixels);
  for (int k = 0; k < 8; ++k) {
    // Deviations of many sizes, the largest in the columns without data.
    for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
      for (int32_t c = 0; c < kImageWidth; ++c)
        image[At(r, c)] = uint16_t(1000 + (k % 2) * (IsDatalessColumn(c) ? 900 : (r * 7 + c * 13) % 97));
    accumulator.Add(image.data());
  }
  const FrameSetStats all = accumulator.Finish(Deviations::kKeep);
  const FrameSetStats some = accumulator.Finish(Deviations::kMedianOnly);
  EXPECT_TRUE(some.deviation.empty());  // 38 MB a flat level does not need
  EXPECT_EQ(some.mean, all.mean);
  EXPECT_EQ(some.medianDeviation, DataMedian(all.deviation));
  EXPECT_EQ(all.medianDeviation, DataMedian(all.deviation));
  EXPECT_NEAR(all.medianDeviation, 48.0 / 2.0 * std::sqrt(8.0 / 7.0), 1.0);
}

// Frame statistics of a made-up panel: offset 400, a smooth gain pattern.
struct MadePanel {
  FrameSetStats darks, flat;
  MadePanel() {
    for (FrameSetStats* s : {&darks, &flat}) {
      s->frames = 16;
      s->mean.assign(kImagePixels, 0.0f);
      s->deviation.assign(kImagePixels, 6.0f);
      s->medianDeviation = 6.0;
      s->saturated.assign(kImagePixels, 0);
    }
    for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
      for (int32_t c = 0; c < kImageWidth; ++c) {
        darks.mean[At(r, c)] = 400.0f;
        flat.mean[At(r, c)] = 400.0f + 8000.0f * float(1.0 + 0.02 * std::sin(r * 0.7 + c * 1.3));
      }
  }
  void SetResponse(int32_t r, int32_t c, double response) {
    flat.mean[At(r, c)] = float(400.0 + (flat.mean[At(r, c)] - 400.0) * response);
  }
  CalibrationResult Run() { return Calibrate(darks, {&flat}, nullptr, CalibrationSettings()); }
};

uint8_t Code(const CalibrationResult& result, int32_t r, int32_t c) {
  return result.pixelMap[size_t(r) * kMapWidth + size_t(c)];
}

TEST(Calibrate, FindsEachClassAndCodesIt) {
  MadePanel panel;
  panel.SetResponse(500, 500, 0.0);    // dead
  panel.darks.mean[At(600, 600)] = 5000.0f;  // hot
  panel.SetResponse(700, 700, 1.5);    // over-responding
  panel.SetResponse(800, 800, 0.1);    // far under: gross
  panel.SetResponse(850, 850, 0.5);    // under
  panel.darks.deviation[At(900, 900)] = 60.0f;  // noisy
  for (int32_t dr = -1; dr <= 1; ++dr)
    for (int32_t dc = -1; dc <= 1; ++dc) panel.SetResponse(1000 + dr, 1000 + dc, 0.0);
  panel.SetResponse(1100, 1279, 0.0);  // next to the columns without data
  for (int32_t c = 0; c < 1536; ++c) panel.SetResponse(1200, c, 0.5);  // left half row
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r) panel.SetResponse(r, 2500, 1.2);  // a column, by its mean
  const CalibrationResult result = panel.Run();

  EXPECT_TRUE(result.refusals.empty());
  EXPECT_EQ(PixelClass(result.classes[At(500, 500)]), PixelClass::kDead);
  EXPECT_EQ(PixelClass(result.classes[At(600, 600)]), PixelClass::kHot);
  EXPECT_EQ(PixelClass(result.classes[At(700, 700)]), PixelClass::kOverResponding);
  EXPECT_EQ(PixelClass(result.classes[At(850, 850)]), PixelClass::kUnderResponding);
  EXPECT_EQ(PixelClass(result.classes[At(900, 900)]), PixelClass::kNoisy);
  EXPECT_EQ(Code(result, 500, 500), 2);
  EXPECT_EQ(Code(result, 600, 600), 2);
  EXPECT_EQ(Code(result, 700, 700), 1);
  EXPECT_EQ(Code(result, 800, 800), 2);
  EXPECT_EQ(Code(result, 850, 850), 1);
  EXPECT_EQ(Code(result, 900, 900), 1);
  EXPECT_EQ(Code(result, 1000, 1000), 2);  // the cluster's centre lives on the fill
  EXPECT_EQ(result.clusterSizes.front(), 9u);
  EXPECT_NE(Code(result, 1100, 1279), 0);
  EXPECT_NE(Code(result, 1100, 1280), 0);  // never averaged in
  EXPECT_NE(Code(result, 1100, 1791), 0);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0].index, 1200);
  EXPECT_EQ(result.rows[0].flag, 2);
  EXPECT_EQ(Code(result, 1200, 300), 0);  // flagged instead of coded
  ASSERT_EQ(result.columns.size(), 1u);
  EXPECT_EQ(result.columns[0].index, 2500);
  EXPECT_EQ(result.pixelMap[size_t(tavrix::kImageHeight) * kMapWidth + 2500], 1);
  for (int32_t r = 0; r < tavrix::kImageHeight; r += 7)
    for (int32_t c = 0; c < kImageWidth; c += 3) {
      const float g = result.gains[At(r, c)];
      ASSERT_TRUE(std::isfinite(g) && g > 0) << r << "," << c;
    }
  EXPECT_FLOAT_EQ(result.gains[At(1500, 1500)], 1.0f);  // no data
  // Gain = T / F: the flat times the gain is the same everywhere.
  EXPECT_NEAR(panel.flat.mean[At(300, 300)] * result.gains[At(300, 300)],
              panel.flat.mean[At(301, 310)] * result.gains[At(301, 310)], 1.0);
  EXPECT_LT(result.checkCv, 0.0005);
}

// A panel whose readout chips (256 columns of the top or the bottom half)
// step by 5 % in gain and 180 counts in offset, each against its
// neighbours, read at two levels and checked at a third: nothing about it is
// defective but a column at a chip's first column and a half row at the
// bottom half's first row.
struct ChippedPanel {
  FrameSetStats darks, low, high, check;
  ChippedPanel() {
    for (FrameSetStats* s : {&darks, &low, &high, &check}) {
      s->frames = 16;
      s->mean.assign(kImagePixels, 0.0f);
      s->deviation.assign(kImagePixels, 6.0f);
      s->saturated.assign(kImagePixels, 0);
      s->medianDeviation = 6.0;
    }
    for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
      for (int32_t c = 0; c < kImageWidth; ++c) {
        const int32_t chip = c / 256 + r / 1536;
        const double offset = 420.0 + (chip % 2 ? 180.0 : -180.0);
        const double gain = (chip % 2 ? 1.05 : 0.95) * (1.0 + 0.02 * std::sin(r * 0.7 + c * 1.3));
        double response = 1.0;
        if (c == 2560 || (r == 1536 && c < 1536)) response = 0.85;
        darks.mean[At(r, c)] = float(offset);
        low.mean[At(r, c)] = float(offset + 3300.0 * gain * response);
        high.mean[At(r, c)] = float(offset + 11500.0 * gain * response);
        check.mean[At(r, c)] = float(offset + 7400.0 * gain * response);
      }
  }
};

TEST(Calibrate, HoldsAcrossReadoutChipSteps) {
  const ChippedPanel panel;
  const CalibrationResult result = Calibrate(panel.darks, {&panel.low, &panel.high}, &panel.check, CalibrationSettings());
  EXPECT_EQ(result.pixelsByClass[size_t(PixelClass::kNonUniform)], 0u);
  size_t flagged = 0;
  for (int32_t r = 40; r < 3032; ++r)
    for (int32_t c = 40; c < 3032; ++c)
      if (c != 2560 && r != 1536 && PixelClass(result.classes[At(r, c)]) != PixelClass::kGood) ++flagged;
  EXPECT_EQ(flagged, 0u);
  ASSERT_EQ(result.columns.size(), 1u);
  EXPECT_EQ(result.columns[0].index, 2560);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0].index, 1536);
  EXPECT_EQ(result.rows[0].flag, 2);
}

TEST(Calibrate, RefusesLinesTheRepairCannotRebuild) {
  MadePanel panel;
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r) {
    panel.SetResponse(r, 2000, 0.4);
    panel.SetResponse(r, 2002, 0.4);  // two apart
    panel.SetResponse(r, 1278, 0.4);  // reads the columns without data
  }
  const CalibrationResult result = panel.Run();
  ASSERT_EQ(result.refusals.size(), 2u);
  EXPECT_NE(result.refusals[0].find("2000 and 2002"), std::string::npos) << result.refusals[0];
  EXPECT_NE(result.refusals[1].find("column 1278"), std::string::npos) << result.refusals[1];
}

TEST(FlatLevelProblem, RefusesTooBrightAndTooFaintLevels) {
  MadePanel panel;
  EXPECT_EQ(FlatLevelProblem(panel.flat, panel.darks), "");
  FrameSetStats bright = panel.flat;
  for (size_t i = 0; i < kImagePixels; i += 100) bright.saturated[i] = 1;  // 1 %
  EXPECT_NE(FlatLevelProblem(bright, panel.darks).find("full scale"), std::string::npos);
  FrameSetStats faint = panel.flat;
  for (float& x : faint.mean) x = 600.0f;
  EXPECT_NE(FlatLevelProblem(faint, panel.darks).find("below 5 %"), std::string::npos);
}

}  // namespace
}  // namespace tavrix_tool
