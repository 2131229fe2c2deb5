#include "interface/tavrix_internal.h"

#include <algorithm>
#include <vector>

#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "detector/detector.h"

namespace tavrix {
namespace internal {

namespace {

// The halves of a row a row flag rebuilds, as bits.
constexpr unsigned kRightHalf = 1;
constexpr unsigned kLeftHalf = 2;

unsigned RowHalves(uint8_t flag) {
  switch (flag) {
    case kRowFlagRightHalf: return kRightHalf;
    case kRowFlagLeftHalf: return kLeftHalf;
    case kRowFlagBothHalves: return kRightHalf | kLeftHalf;
    default: return 0;
  }
}

}  // namespace

bool LineUnmasked(int32_t index, int32_t length) {
  return index >= kBorderMaskWidth && index < length - kBorderMaskWidth;
}

bool IsDatalessColumn(int32_t column) {
  return column >= kReadoutColumns && column < kImageWidth - kReadoutColumns;
}

bool InMaskedBorder(int32_t row, int32_t column) {
  return !LineUnmasked(row, kImageHeight) || !LineUnmasked(column, kImageWidth);
}

bool InDataArea(int32_t row, int32_t column) { return !InMaskedBorder(row, column) && !IsDatalessColumn(column); }

bool RowFlagCovers(uint8_t flag, int32_t column) {
  return (RowHalves(flag) & (column < kImageWidth / 2 ? kLeftHalf : kRightHalf)) != 0;
}

bool RowFlagsShareHalf(uint8_t a, uint8_t b) { return (RowHalves(a) & RowHalves(b)) != 0; }

bool IsKnownRowFlag(uint8_t flag) { return RowHalves(flag) != 0; }

bool WithinFittedReach(int32_t index, int32_t length) {
  return index >= kLineRepairMargin && index < length - kLineRepairMargin;
}

bool IsCopiedEdgeColumn(int32_t column) {
  return column < kCopiedEdgeColumns || column >= kImageWidth - kCopiedEdgeColumns;
}

bool DefectRepairReaches(int32_t row, int32_t column) {
  return row >= 1 && row < kImageHeight - 1 && column >= 1 && column < kImageWidth - 1;
}

bool FillReaches(int32_t row, int32_t column) { return row >= kFillReach && column >= kFillReach; }

// The correction takes its maps as rows; these point into the blocks.
struct PanelMaps::Rows {
  std::vector<const uint8_t*> pixel;
  std::vector<const float*> gain;
};

PanelMaps::PanelMaps()
    : pixel_(new uint8_t[kPixelMapBytes]), gain_(new float[kImagePixels]), rows_(new Rows) {
  for (int32_t r = 0; r < kMapHeight; ++r) rows_->pixel.push_back(pixel_.get() + size_t(r) * kMapWidth);
  for (int32_t r = 0; r < kImageHeight; ++r) rows_->gain.push_back(gain_.get() + size_t(r) * kImageWidth);
}

PanelMaps::~PanelMaps() = default;
PanelMaps::PanelMaps(PanelMaps&&) noexcept = default;
PanelMaps& PanelMaps::operator=(PanelMaps&&) noexcept = default;

void ReadOut(const uint8_t* rawFrame, uint16_t* image) {
  ReadOutFrame(rawFrame, image, kImageWidth, kImageHeight);
}

void Scramble(const uint16_t* image, uint8_t* rawFrame) {
  ScrambleFrame(image, rawFrame, kImageWidth, kImageHeight);
}

void Correct(uint16_t* image, const PanelMaps& maps) {
  CorrectImage(image, kImageWidth, kImageHeight, maps.rows_->pixel.data(), maps.rows_->gain.data());
}

struct RawFrameSource::State {
  Detector detector;
};

RawFrameSource::RawFrameSource() : state_(new State) {}
RawFrameSource::~RawFrameSource() = default;

bool RawFrameSource::Open(const char*& reason) {
  if (!state_->detector.IsComplete()) {
    reason = "not enough memory for the detector's buffers";
    return false;
  }
  if (!state_->detector.IsGrabberOpen()) {
    reason = "no frame grabber: OpenDAQDevice failed";
    return false;
  }
  return true;
}

bool RawFrameSource::Capture(uint8_t* rawFrame) {
  if (!state_->detector.CaptureFrame()) return false;
  const uint8_t* captured = state_->detector.RawFrame();
  std::copy(captured, captured + kRawFrameBytes, rawFrame);
  return true;
}

}  // namespace internal
}  // namespace tavrix
