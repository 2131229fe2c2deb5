// How well `tavrix calibrate` finds a seeded simulated panel's defects and
// flattens its response, against the simulator's truth:
//   calibration_quality SEED DARKS FLATS_PER_LEVEL CHECK_FRAMES
// Prints the figures; exit 1 when one misses its bound (99.5 % of defective
// pixels found, every line flagged with its value, at most 1 false positive
// per 100,000 good data pixels, corrected check flat CV at most 0.5 % and
// within 1.2 x what the true gains and defects give).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "calibration/calibration_analysis.h"
#include "calibration/calibration_frames.h"
#include "calibration_scene.h"
#include "tavrix_internal.h"

namespace {

using namespace tavrix_tool;
using pci_frm01_sim::CalibrationPanel;
using pci_frm01_sim::DefectClass;
using pci_frm01_sim::SceneKind;
using pci_frm01_sim::SceneStep;
using tavrix::kImageHeight;
using tavrix::kImagePixels;
using tavrix::kImageWidth;
using tavrix::kMapWidth;
using tavrix::internal::InDataArea;
using tavrix::internal::IsDatalessColumn;

constexpr double kMinFound = 0.995;
constexpr double kMaxFalsePerGood = 1e-5;
constexpr double kMaxCv = 0.005;
constexpr double kMaxCvOverTruth = 1.2;

size_t At(int32_t r, int32_t c) { return size_t(r) * kImageWidth + size_t(c); }

FrameSetStats Acquire(const CalibrationPanel& panel, SceneStep step, int frames, uint32_t firstIndex,
                      Deviations keep = Deviations::kMedianOnly) {
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  std::vector<uint16_t> image(kImagePixels, 0);
  FrameSetAccumulator accumulator;
  for (int k = 0; k < frames; ++k) {
    panel.ComposeRawFrame(step, firstIndex + uint32_t(k), raw.data());
    tavrix::internal::ReadOut(raw.data(), image.data());
    accumulator.Add(image.data());
  }
  return accumulator.Finish(keep);
}

// The check flat's mean corrected through the library's own correction.
double CorrectedCv(const FrameSetStats& check, const std::vector<uint8_t>& pixelMap, const std::vector<float>& gains) {
  std::vector<uint16_t> image(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i) image[i] = uint16_t(std::lround(std::min(16383.0f, check.mean[i])));
  tavrix::internal::PanelMaps maps;
  std::copy(pixelMap.begin(), pixelMap.end(), maps.PixelMap());
  std::copy(gains.begin(), gains.end(), maps.GainMap());
  tavrix::internal::Correct(image.data(), maps);
  double sum = 0, squares = 0;
  size_t n = 0;
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (InDataArea(r, c)) {
        const double x = image[At(r, c)];
        sum += x;
        squares += x * x;
        ++n;
      }
  const double mean = sum / double(n);
  return std::sqrt(std::max(0.0, squares / double(n) - mean * mean)) / mean;
}

void TrueMaps(const CalibrationPanel& panel, std::vector<uint8_t>& map, std::vector<float>& gains) {
  map.assign(size_t(kMapWidth) * tavrix::kMapHeight, 0);
  gains.assign(kImagePixels, 1.0f);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      if (c == 1280 || c == 1791) map[size_t(r) * kMapWidth + size_t(c)] = 1;
      if (IsDatalessColumn(c)) continue;
      const DefectClass d = panel.PixelClass(r, c);
      if (d != DefectClass::kNone && d != DefectClass::kLine) map[size_t(r) * kMapWidth + size_t(c)] = 2;
      else gains[At(r, c)] = float(1.0 / (panel.TrueGain(r, c) * panel.Field(r, c)));
    }
    map[size_t(r) * kMapWidth + size_t(kImageWidth)] = panel.RowFlag(r);
  }
  for (int32_t c = 0; c < kImageWidth; ++c) map[size_t(kImageHeight) * kMapWidth + size_t(c)] = panel.ColumnFlag(c);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SEED DARKS FLATS_PER_LEVEL CHECK_FRAMES\n", argv[0]);
    return 2;
  }
  const uint32_t seed = uint32_t(std::strtoul(argv[1], nullptr, 10));
  const int darkFrames = std::atoi(argv[2]), flatFrames = std::atoi(argv[3]), checkFrames = std::atoi(argv[4]);
  const CalibrationPanel panel(seed);
  const FrameSetStats darks = Acquire(panel, {SceneKind::kDark, 0.0, 0}, darkFrames, 0, Deviations::kKeep);
  const FrameSetStats low = Acquire(panel, {SceneKind::kFlat, 0.2, 0}, flatFrames, 1000);
  const FrameSetStats high = Acquire(panel, {SceneKind::kFlat, 0.7, 0}, flatFrames, 2000);
  const FrameSetStats check = Acquire(panel, {SceneKind::kFlat, 0.45, 0}, checkFrames, 3000);
  const CalibrationResult result = Calibrate(darks, {&low, &high}, &check, CalibrationSettings());

  size_t defective = 0, found = 0, good = 0, falsePositives = 0;
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) {
      if (!InDataArea(r, c)) continue;
      const DefectClass truth = panel.PixelClass(r, c);
      const bool marked = PixelClass(result.classes[At(r, c)]) != PixelClass::kGood;
      if (truth == DefectClass::kLine) continue;
      if (truth != DefectClass::kNone) {
        ++defective;
        found += marked;
      } else {
        ++good;
        falsePositives += marked;
      }
    }
  bool linesRight = result.rows.size() + result.columns.size() == 3;
  for (const LineFlag& row : result.rows) linesRight = linesRight && row.flag == panel.RowFlag(row.index);
  for (const LineFlag& column : result.columns) linesRight = linesRight && panel.ColumnFlag(column.index) == column.flag;

  std::vector<uint8_t> trueMap;
  std::vector<float> trueGains;
  TrueMaps(panel, trueMap, trueGains);
  const double cv = CorrectedCv(check, result.pixelMap, result.gains);
  const double trueCv = CorrectedCv(check, trueMap, trueGains);
  const double foundFraction = double(found) / double(defective);
  const double falsePer100k = 1e5 * double(falsePositives) / double(good);
  std::printf("seed %u: found %zu of %zu defective pixels (%.2f %%), lines %s (%zu rows, %zu columns), "
              "%zu false positives (%.2f per 100,000 good), corrected check CV %.3f %% (true maps %.3f %%, ratio %.2f)%s\n",
              seed, found, defective, 100 * foundFraction, linesRight ? "right" : "WRONG", result.rows.size(),
              result.columns.size(), falsePositives, falsePer100k, 100 * cv, 100 * trueCv, cv / trueCv,
              result.refusals.empty() ? "" : ", maps refused");
  const bool pass = foundFraction >= kMinFound && linesRight && double(falsePositives) <= kMaxFalsePerGood * good &&
                    cv <= kMaxCv && cv <= kMaxCvOverTruth * trueCv && result.refusals.empty();
  return pass ? 0 : 1;
}
