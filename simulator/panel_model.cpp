#include "panel_model.h"

#include <cmath>

#include "platform/pixel_rules.h"
#include "platform/dimensions.h"
#include "pixel_hash.h"

namespace pci_frm01_sim {
namespace {

constexpr uint32_t kGainSeed = 0x6A09E667u;
constexpr uint32_t kNoiseSeed = 0xBB67AE85u;
constexpr int32_t kColumnsPerChip = 256;
constexpr float kPixelGainSpread = 0.025f;  // +-2.5 % from pixel to pixel
constexpr float kChipGainSpread = 0.015f;   // +-1.5 % from chip to chip
// Noise grows with the exposure, as quantum noise does, but stays well
// inside what the impulse filter accepts as ordinary variation.
constexpr double kNoiseFloor = 20.0;
constexpr double kNoisePerCount = 0.01;


// -1..1, uniform.
float Symmetric(uint32_t hash) { return float(hash & 0xFFFFFFu) / float(0xFFFFFF) * 2.0f - 1.0f; }

// 0 outside the disc, 1 on its plateau, a smooth step across its edge.
double DiscWeight(const Disc& disc, int32_t row, int32_t column) {
  const int32_t reach = disc.radius + kDiscEdgeWidth;
  const int32_t dr = row - disc.row;
  const int32_t dc = column - disc.column;
  if (dr > reach || dr < -reach || dc > reach || dc < -reach) return 0.0;
  const double distance = std::sqrt(double(dr) * dr + double(dc) * dc);
  double w = (disc.radius - distance) / kDiscEdgeWidth + 0.5;
  if (w <= 0.0) return 0.0;
  if (w >= 1.0) return 1.0;
  return w * w * (3.0 - 2.0 * w);
}

bool InDarkLine(int32_t row, int32_t column) {
  return (row == kDarkHalfRow && column < tavrix::kImageWidth / 2) || column == kDarkColumn;
}

}  // namespace

double PhantomSignal(int32_t row, int32_t column) {
  double signal = kBackgroundLevel + kBackgroundRiseAcross * column / (tavrix::kImageWidth - 1) +
                  kBackgroundRiseDown * row / (tavrix::kImageHeight - 1);
  for (const Disc& disc : kDiscs) signal += disc.contrast * DiscWeight(disc, row, column);
  return signal;
}

float PixelGain(int32_t row, int32_t column) {
  const float chip = 1.0f + kChipGainSpread * Symmetric(Mix(uint32_t(column / kColumnsPerChip) ^ kGainSeed));
  const float pixel = 1.0f + kPixelGainSpread * Symmetric(PixelHash(row, column, kGainSeed));
  return chip * pixel;
}

uint16_t ExposedReading(int32_t row, int32_t column, uint32_t index) {
  double x = PhantomSignal(row, column) * double(PixelGain(row, column));
  if (InDarkLine(row, column)) x *= kDarkLineResponse;
  // Sum of two uniform values: a triangular spread, no long tails.
  const uint32_t h = PixelHash(row, column, kNoiseSeed + index);
  const double spread = double(int32_t(h & 0xFFFFu) + int32_t(h >> 16) - 0xFFFF) / 0xFFFF;
  x += spread * (kNoiseFloor + kNoisePerCount * x);
  return tavrix::ClampToPixel(x);
}

uint16_t PanelReading(int32_t row, int32_t column, uint32_t index) {
  for (const DefectivePixel& defect : kDefectivePixels) {
    if (defect.row == row && defect.column == column) return defect.reading;
  }
  return ExposedReading(row, column, index);
}

}  // namespace pci_frm01_sim
