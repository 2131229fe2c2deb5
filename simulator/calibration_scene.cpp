#include "calibration_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "platform/pixel_rules.h"
#include "platform/dimensions.h"
#include "panel_model.h"
#include "pixel_hash.h"
#include "simulated_panel.h"

namespace pci_frm01_sim {
namespace {

using tavrix::kImageHeight;
using tavrix::kImageWidth;

constexpr double kFullScale = 16383.0;
// Offset: a level, a step from one readout chip to the next (+-90 counts:
// two chips differ by up to 180, as real panels show), and a spread from
// pixel to pixel.
constexpr double kOffsetLevel = 420.0;
constexpr double kChipOffsetStep = 90.0;
constexpr double kPixelOffsetSpread = 18.0;
// Gain: chip steps (up to +-5 %) and a pixel spread, both relative.
constexpr double kChipGainStep = 0.05;
constexpr double kPixelGainSpread = 0.025;
// Field: the heel effect along the rows and a fall-off towards the corners.
constexpr double kHeelSlope = 0.05;
constexpr double kCornerFallOff = 0.04;
// Full scale in signal counts above the offset level.
constexpr double kSignalAtFullDose = kFullScale - kOffsetLevel;
// The phantom's signal that corresponds to the dose named.
constexpr double kPhantomReference = 10000.0;
// Temporal noise: electronic noise, plus quantum noise growing with the signal.
constexpr double kElectronicNoise = 6.0;
constexpr double kQuantumNoisePerCount = 0.05;
// Now and then a frame carries a direct hit at a pixel, which the
// calibration must reject as an outlier rather than average in.
constexpr uint32_t kEventsPerBillion = 2000;
constexpr double kEventCounts = 2500.0;

// Where defects go: the data area, clear of the masked border.
constexpr int32_t kAreaFirst = 40;
constexpr int32_t kAreaLast = 3031;
constexpr int32_t kDatalessFirst = kImageWidth / 2 - 256;  // 1280
constexpr int32_t kDatalessLast = kImageWidth / 2 + 255;   // 1791
constexpr int32_t kLineMargin = 4;  // free lines either side of a defective line

// About normal with unit variance: four uniforms from two hashes.
double Gaussian(uint32_t a, uint32_t b) {
  const double sum = double(a & 0xFFFFu) + double(a >> 16) + double(b & 0xFFFFu) + double(b >> 16);
  return (sum / 65535.0 - 2.0) * std::sqrt(3.0);
}

double Uniform(uint32_t hash) { return double(hash) / 4294967296.0; }  // 0..1

// Deterministic on every platform, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(Mix(seed ^ 0x5BD1E995u)) {}
  uint32_t Next() { return Mix(state_ += 0x9E3779B9u); }
  int32_t Between(int32_t low, int32_t high) { return low + int32_t(Next() % uint32_t(high - low + 1)); }
  double Between(double low, double high) { return low + (high - low) * Uniform(Next()); }

 private:
  uint32_t state_;
};

bool IsDataless(int32_t column) { return column >= kDatalessFirst && column <= kDatalessLast; }

// A readout chip's share of a step (256 columns of the top or the bottom
// half): between half and all of it, of the opposite sign to the chips
// beside and above or below it, so that neighbouring chips differ by 1 to 2
// steps, as on the worst real panels.
double ChipStep(int32_t row, int32_t column, uint32_t salt) {
  const int32_t chipRow = row / tavrix::kReadoutChipRows;
  const int32_t chipColumn = column / tavrix::kReadoutChipColumns;
  const uint32_t chip = uint32_t(chipRow * (kImageWidth / tavrix::kReadoutChipColumns) + chipColumn);
  const double size = 0.5 + 0.5 * Uniform(Mix(chip ^ salt));
  return (chipRow + chipColumn) % 2 == 0 ? size : -size;
}

double SignalAt(const SceneStep& step, int32_t row, int32_t column) {
  switch (step.kind) {
    case SceneKind::kFlat:
      return step.dose * kSignalAtFullDose;
    case SceneKind::kPanelPhantom:
      return step.dose * kSignalAtFullDose * PhantomSignal(row, column) / kPhantomReference;
    default:
      return 0.0;
  }
}

uint32_t StepSalt(const SceneStep& step) {
  return Mix(uint32_t(step.kind) * 0x27D4EB2Fu + uint32_t(std::lround(step.dose * 1e6)));
}

bool ParseStep(const std::string& text, SceneStep& step, bool needsCount, std::string& error) {
  std::string scene = text;
  step.frames = 0;
  const size_t star = text.find('*');
  if (star != std::string::npos) {
    const std::string count = text.substr(star + 1);
    char* end = nullptr;
    const long frames = std::strtol(count.c_str(), &end, 10);
    if (count.empty() || *end != '\0' || frames < 1 || frames > 1000000) {
      error = "'" + text + "': the frame count after '*' must be 1 or more";
      return false;
    }
    step.frames = uint32_t(frames);
    scene = text.substr(0, star);
  } else if (needsCount) {
    error = "'" + text + "': each entry of a schedule needs '*N' frames";
    return false;
  }
  const size_t colon = scene.find(':');
  const std::string name = scene.substr(0, colon);
  step.dose = 0.0;
  if (colon != std::string::npos) {
    const std::string dose = scene.substr(colon + 1);
    char* end = nullptr;
    step.dose = std::strtod(dose.c_str(), &end);
    if (dose.empty() || *end != '\0' || !(step.dose > 0.0) || step.dose > 2.0) {
      error = "'" + text + "': the dose must be a fraction of full scale above 0 (up to 2)";
      return false;
    }
  }
  if (name == "dark" && colon == std::string::npos) {
    step.kind = SceneKind::kDark;
  } else if (name == "flat" && colon != std::string::npos) {
    step.kind = SceneKind::kFlat;
  } else if (name == "phantom") {
    step.kind = colon == std::string::npos ? SceneKind::kPhantom : SceneKind::kPanelPhantom;
  } else {
    error = "'" + text + "' is no scene (dark, flat:DOSE, phantom, phantom:DOSE)";
    return false;
  }
  return true;
}

}  // namespace

bool ParseSceneSchedule(const std::string& text, std::vector<SceneStep>& steps, std::string& error) {
  steps.clear();
  std::vector<std::string> entries;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    entries.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (const std::string& entry : entries) {
    SceneStep step;
    if (!ParseStep(entry, step, entries.size() > 1, error)) return false;
    steps.push_back(step);
  }
  return true;
}

const SceneStep& StepOfFrame(const std::vector<SceneStep>& steps, uint32_t frameIndex) {
  uint64_t period = 0;
  for (const SceneStep& step : steps) period += step.frames;
  if (period == 0) return steps.front();
  uint64_t position = frameIndex % period;
  for (const SceneStep& step : steps) {
    if (position < step.frames) return step;
    position -= step.frames;
  }
  return steps.back();
}

const char* DefectClassName(DefectClass defect) {
  switch (defect) {
    case DefectClass::kDead:
      return "dead";
    case DefectClass::kHot:
      return "hot";
    case DefectClass::kOverResponding:
      return "over-responding";
    case DefectClass::kUnderResponding:
      return "under-responding";
    case DefectClass::kNoisy:
      return "noisy";
    case DefectClass::kLine:
      return "line";
    default:
      return "good";
  }
}

CalibrationPanel::CalibrationPanel(uint32_t seed) : seed_(seed), specialIndex_(tavrix::kImagePixels, 0) {
  PlaceDefects();
}

const CalibrationPanel::Special* CalibrationPanel::SpecialAt(int32_t row, int32_t column) const {
  const uint16_t index = specialIndex_[size_t(row) * kImageWidth + size_t(column)];
  return index == 0 ? nullptr : &specials_[index - 1];
}

bool CalibrationPanel::Free(int32_t row, int32_t column, int32_t margin) const {
  if (IsDataless(column)) return false;
  for (int32_t line : {leftHalfRow_, rightHalfRow_})
    if (std::abs(row - line) <= kLineMargin) return false;
  if (std::abs(column - column_) <= kLineMargin) return false;
  for (int32_t r = row - margin; r <= row + margin; ++r)
    for (int32_t c = column - margin; c <= column + margin; ++c)
      if (r >= 0 && r < kImageHeight && c >= 0 && c < kImageWidth && SpecialAt(r, c) != nullptr) return false;
  return true;
}

void CalibrationPanel::Mark(int32_t row, int32_t column, const Special& special) {
  specials_.push_back(special);
  specialIndex_[size_t(row) * kImageWidth + size_t(column)] = uint16_t(specials_.size());
}

void CalibrationPanel::PlaceDefects() {
  Random random(seed_);
  // The lines first, where the line repair reaches them, apart from each
  // other and from the columns without data.
  leftHalfRow_ = random.Between(200, 2800);
  do rightHalfRow_ = random.Between(200, 2800);
  while (std::abs(rightHalfRow_ - leftHalfRow_) < 50);
  column_ = random.Between(0, 1) == 0 ? random.Between(60, 1240) : random.Between(1830, 3000);
  // One line responds far too little (its pixels fail one by one), the
  // others only by a fifth to a quarter (only their mean shows it).
  leftRowResponse_ = float(random.Between(0.35, 0.5));
  rightRowResponse_ = float(random.Between(0.75, 0.8));
  columnResponse_ = float(random.Between(1.2, 1.25));

  const auto randomPixel = [&](int32_t margin) {
    while (true) {
      const int32_t r = random.Between(kAreaFirst, kAreaLast);
      const int32_t c = random.Between(kAreaFirst, kAreaLast);
      if (c >= kDatalessFirst - 3 && c <= kDatalessLast + 3) continue;
      if (Free(r, c, margin)) return std::pair<int32_t, int32_t>(r, c);
    }
  };
  const auto place = [&](int count, const auto& make) {
    for (int i = 0; i < count; ++i) {
      const auto [r, c] = randomPixel(2);
      Mark(r, c, make());
    }
  };
  place(60, [] { return Special{DefectClass::kDead, 0.0f, 0.0f, 1.0f, false}; });
  place(60, [] { return Special{DefectClass::kDead, 0.0f, 0.0f, 0.0f, true}; });  // reads 0
  place(40, [] { return Special{DefectClass::kHot, 1.0f, float(kFullScale), 0.0f, true}; });
  place(40, [&] { return Special{DefectClass::kHot, 1.0f, float(random.Between(2000.0, 6000.0)), 1.0f, false}; });
  place(80, [&] { return Special{DefectClass::kOverResponding, float(random.Between(1.45, 1.9)), 0.0f, 1.0f, false}; });
  place(20, [&] { return Special{DefectClass::kOverResponding, float(random.Between(2.3, 3.0)), 0.0f, 1.0f, false}; });
  place(80, [&] { return Special{DefectClass::kUnderResponding, float(random.Between(0.25, 0.5)), 0.0f, 1.0f, false}; });
  place(20, [&] { return Special{DefectClass::kUnderResponding, float(random.Between(0.12, 0.18)), 0.0f, 1.0f, false}; });
  place(60, [&] { return Special{DefectClass::kNoisy, 1.0f, 0.0f, float(random.Between(10.0, 16.0)), false}; });

  // One cluster of 3 x 3 dead pixels, and small clusters of 2 to 5.
  const Special deadPixel{DefectClass::kDead, 0.0f, 0.0f, 1.0f, false};
  {
    const auto [r, c] = randomPixel(3);
    for (int32_t dr = -1; dr <= 1; ++dr)
      for (int32_t dc = -1; dc <= 1; ++dc) Mark(r + dr, c + dc, deadPixel);
  }
  for (int i = 0; i < 12; ++i) {
    const auto [r0, c0] = randomPixel(4);
    const Special member = i % 2 == 0 ? deadPixel : Special{DefectClass::kHot, 1.0f, float(kFullScale), 0.0f, true};
    int32_t r = r0, c = c0;
    const int32_t size = random.Between(2, 5);
    for (int32_t k = 0; k < size; ++k) {
      if (SpecialAt(r, c) == nullptr) Mark(r, c, member);
      r = std::max(r0 - 1, std::min(r0 + 1, r + random.Between(-1, 1)));
      c = std::max(c0 - 1, std::min(c0 + 1, c + random.Between(-1, 1)));
    }
  }

  // Defects right next to the columns without data.
  for (int32_t column : {kDatalessFirst - 1, kDatalessLast + 1}) {
    const Special kinds[] = {deadPixel, {DefectClass::kHot, 1.0f, float(kFullScale), 0.0f, true},
                             {DefectClass::kUnderResponding, 0.3f, 0.0f, 1.0f, false}};
    for (const Special& kind : kinds) {
      int32_t r;
      do r = random.Between(kAreaFirst + 1, kAreaLast - 1);
      while (!Free(r, column, 2));
      Mark(r, column, kind);
    }
  }
}

DefectClass CalibrationPanel::PixelClass(int32_t row, int32_t column) const {
  if (IsDataless(column)) return DefectClass::kNone;
  const bool left = column < kImageWidth / 2;
  if ((row == leftHalfRow_ && left) || (row == rightHalfRow_ && !left)) return DefectClass::kLine;
  if (column == column_) return DefectClass::kLine;
  const Special* special = SpecialAt(row, column);
  return special == nullptr ? DefectClass::kNone : special->defect;
}

double CalibrationPanel::Offset(int32_t row, int32_t column) const {
  const double chip = kChipOffsetStep * ChipStep(row, column, Mix(seed_ + 17));
  const double pixel = kPixelOffsetSpread * Gaussian(PixelHash(row, column, seed_ * 3 + 1), PixelHash(row, column, seed_ * 3 + 2));
  const Special* special = SpecialAt(row, column);
  return kOffsetLevel + chip + pixel + (special != nullptr ? special->darkAdd : 0.0);
}

double CalibrationPanel::TrueGain(int32_t row, int32_t column) const {
  const double chip = 1.0 + kChipGainStep * ChipStep(row, column, Mix(seed_ + 29));
  const double pixel = 1.0 + kPixelGainSpread * Gaussian(PixelHash(row, column, seed_ * 5 + 1), PixelHash(row, column, seed_ * 5 + 2));
  double gain = chip * pixel;
  const Special* special = SpecialAt(row, column);
  if (special != nullptr) gain *= special->response;
  const bool left = column < kImageWidth / 2;
  if (row == leftHalfRow_ && left) gain *= leftRowResponse_;
  if (row == rightHalfRow_ && !left) gain *= rightRowResponse_;
  if (column == column_) gain *= columnResponse_;
  return gain;
}

double CalibrationPanel::Field(int32_t row, int32_t column) const {
  const double y = double(row) / (kImageHeight - 1) - 0.5;
  const double x = double(column) / (kImageWidth - 1) - 0.5;
  return (1.0 + kHeelSlope * y) * (1.0 - kCornerFallOff * 2.0 * (x * x + y * y));
}

uint8_t CalibrationPanel::RowFlag(int32_t row) const {
  uint8_t flag = 0;
  if (row == leftHalfRow_) flag |= 2;
  if (row == rightHalfRow_) flag |= 1;
  return flag;
}

uint8_t CalibrationPanel::ColumnFlag(int32_t column) const { return column == column_ ? 1 : 0; }

double CalibrationPanel::MeanReading(const SceneStep& step, int32_t row, int32_t column) const {
  const Special* special = SpecialAt(row, column);
  if (special != nullptr && special->stuck) return special->darkAdd;
  const double x = Offset(row, column) + SignalAt(step, row, column) * TrueGain(row, column) * Field(row, column);
  return std::min(x, kFullScale);
}

uint16_t CalibrationPanel::Reading(const SceneStep& step, int32_t row, int32_t column, uint32_t frameIndex) const {
  const Special* special = SpecialAt(row, column);
  if (special != nullptr && special->stuck) return tavrix::ClampToPixel(double(special->darkAdd));
  const double signal = SignalAt(step, row, column) * TrueGain(row, column) * Field(row, column);
  const uint32_t salt = Mix(seed_ ^ StepSalt(step)) + frameIndex * 0x9E3779B9u;
  const uint32_t a = PixelHash(row, column, salt);
  const uint32_t b = PixelHash(row, column, salt ^ 0xA5A5A5A5u);
  double sigma = std::sqrt(kElectronicNoise * kElectronicNoise + kQuantumNoisePerCount * signal);
  if (special != nullptr) sigma *= special->noise;
  double x = Offset(row, column) + signal + sigma * Gaussian(a, b);
  if (Mix(a ^ b) % 1000000000u < kEventsPerBillion) x += kEventCounts;
  return tavrix::ClampToPixel(x);
}

void CalibrationPanel::ComposeRawFrame(const SceneStep& step, uint32_t frameIndex, uint8_t* raw) const {
  if (step.kind == SceneKind::kPhantom) {
    pci_frm01_sim::ComposeRawFrame(raw, frameIndex);
    return;
  }
  using namespace tavrix;
  std::memset(raw, 0, size_t(kRawLineWords) * 2 * kRawLineCount);
  uint16_t words[kRawLineWords] = {};
  for (int32_t c = 0; c < kReadoutColumns; ++c) {
    const int32_t right = kImageWidth - 1 - c;
    for (int32_t t = 0; t < kRunLength; ++t) {
      words[kRunAStart + t] = Reading(step, t, right, frameIndex);
      words[kRunBStart + t] = Reading(step, kRunLength + t, right, frameIndex);
      words[kRunCStart + t] = Reading(step, kRunLength - 1 - t, c, frameIndex);
      words[kRunDStart + t] = Reading(step, kImageHeight - 1 - t, c, frameIndex);
    }
    std::memcpy(raw + size_t(kFirstImageRawLine + c) * sizeof words, words, sizeof words);
  }
}

}  // namespace pci_frm01_sim
