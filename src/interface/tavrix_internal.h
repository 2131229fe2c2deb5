// The library's one door for its own kit: the tool, the tests, the benchmarks
// and the simulator. It offers what stored frames and map files need: the
// panel's geometry, the raw frame's size, the map files' codes and flags and
// what the correction's repairs reach, the readout of a stored raw frame and
// the correction with a panel's maps. Every operation calls the functions the
// exports call, so the two ways in give the same images. The facts below are
// named here once; the library's own steps take them from here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tavrix_1417_pci_vusk.h"

namespace tavrix {

// ---- geometry (the public header's, for C++) ----
constexpr int32_t kImageWidth = TAVRIX_IMAGE_WIDTH;
constexpr int32_t kImageHeight = TAVRIX_IMAGE_HEIGHT;
// Pixel maps carry one extra column (row flags) and one extra row (column flags).
constexpr int32_t kMapWidth = kImageWidth + 1;
constexpr int32_t kMapHeight = kImageHeight + 1;
constexpr size_t kImagePixels = size_t(kImageWidth) * kImageHeight;
constexpr size_t kPixelMapBytes = size_t(kMapWidth) * kMapHeight;
constexpr size_t kGainMapBytes = kImagePixels * sizeof(float);

// Bytes of one raw frame as the grabber delivers it.
constexpr int32_t kRawFrameBytes = 16204480;
// The readout fills this many columns from each side; the middle columns
// (kReadoutColumns .. width - kReadoutColumns - 1) get no data.
constexpr int32_t kReadoutColumns = 1280;
// The readout chips: 256 columns each, one row of them for the top half and
// one for the bottom; each chip has its own gain and offset, which step from
// one chip to the next.
constexpr int32_t kReadoutChipColumns = 256;
constexpr int32_t kReadoutChipRows = kImageHeight / 2;

// ---- pixel values ----
constexpr int32_t kMaxPixelValue = 16383;

// ---- the pixel map's codes and flags ----
constexpr uint8_t kGoodPixel = 0;
constexpr uint8_t kFillCode = 2;  // filled from its neighbours before the gain step
// Row flags (last byte of a pixel-map row): which halves of the row to rebuild.
constexpr uint8_t kRowFlagRightHalf = 1;
constexpr uint8_t kRowFlagLeftHalf = 2;
constexpr uint8_t kRowFlagBothHalves = 3;

// ---- what the correction's steps reach ----
// Pixels within this distance of an edge are set to 16383 by the gain step
// instead of being multiplied: their gains are never used.
constexpr int32_t kGainFrameWidth = 20;
// Every pixel within this distance of an edge is set to full scale at the end.
constexpr int32_t kBorderMaskWidth = 40;
// The block of a fill-coded pixel reaches this far up and to the left.
constexpr int32_t kFillReach = 2;
// Rows and columns closer than this to an edge are never repaired against a
// fit; flagged edge columns 0..2 and the last three are copied from a neighbour.
constexpr int32_t kLineRepairMargin = 10;
constexpr int32_t kCopiedEdgeColumns = 3;
// A fitted line repair reads the lines up to kReferenceReach away and
// rescales the centre band of kCentreHalfWidth lines on either side.
constexpr int32_t kReferenceReach = 3;
constexpr int32_t kCentreHalfWidth = 1;

namespace internal {

bool IsDatalessColumn(int32_t column);
// Row or column `index` of `length` lies inside the border the correction
// masks at the end; a pixel lies in that border.
bool LineUnmasked(int32_t index, int32_t length);
bool InMaskedBorder(int32_t row, int32_t column);
// Carries panel data that the border leaves.
bool InDataArea(int32_t row, int32_t column);
// Whether a row flag rebuilds `column` of its row (never for values other than 1, 2, 3).
bool RowFlagCovers(uint8_t flag, int32_t column);
// Whether row flags `a` and `b` rebuild a common half.
bool RowFlagsShareHalf(uint8_t a, uint8_t b);
bool IsKnownRowFlag(uint8_t flag);
// Line `index` of `length` lies where a fitted repair reaches.
bool WithinFittedReach(int32_t index, int32_t length);
// An edge column that a flag repairs by copying a neighbour.
bool IsCopiedEdgeColumn(int32_t column);
// A defective pixel there is replaced from its neighbours (not on the outermost rows and columns).
bool DefectRepairReaches(int32_t row, int32_t column);
// A fill-coded pixel there is filled (not too near the top or left edge).
bool FillReaches(int32_t row, int32_t column);

// One panel's maps as the correction reads them: the files' bytes, each map
// one contiguous block in raster order (the pixel map kMapWidth bytes a row,
// the gain map kImageWidth floats a row). Not cleared: the caller fills both.
class PanelMaps {
 public:
  PanelMaps();
  ~PanelMaps();
  PanelMaps(PanelMaps&&) noexcept;
  PanelMaps& operator=(PanelMaps&&) noexcept;

  uint8_t* PixelMap() { return pixel_.get(); }
  const uint8_t* PixelMap() const { return pixel_.get(); }
  float* GainMap() { return gain_.get(); }
  const float* GainMap() const { return gain_.get(); }

 private:
  friend void Correct(uint16_t* image, const PanelMaps& maps);
  struct Rows;
  std::unique_ptr<uint8_t[]> pixel_;
  std::unique_ptr<float[]> gain_;
  std::unique_ptr<Rows> rows_;
};

// The readout of one stored raw frame (kRawFrameBytes) into a whole image, as
// an acquisition reads out the frame it fetches.
void ReadOut(const uint8_t* rawFrame, uint16_t* image);
// The inverse: the raw frame that reads out as `image` (words the readout
// does not read are 0). For replay files.
void Scramble(const uint16_t* image, uint8_t* rawFrame);
// The correction of one image in place with one panel's maps, as an
// acquisition corrects it.
void Correct(uint16_t* image, const PanelMaps& maps);

// The frame grabber without the correction: uncorrected raw frames for the
// calibration. Holds a detector of its own while it lives; Open() is false
// when the detector's buffers or the grabber are missing, with the reason.
class RawFrameSource {
 public:
  RawFrameSource();
  ~RawFrameSource();
  RawFrameSource(const RawFrameSource&) = delete;
  RawFrameSource& operator=(const RawFrameSource&) = delete;

  bool Open(const char*& reason);
  // One frame into `rawFrame` (kRawFrameBytes); false when none came.
  bool Capture(uint8_t* rawFrame);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace internal
}  // namespace tavrix
