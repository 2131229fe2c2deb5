// Calibration scenes: a seeded panel with a per-pixel offset and gain, noise
// that grows with the signal, and every class of defect a calibration must
// find, exposed dark, to a flat field at a chosen dose, or to the phantom.
// The truth (which pixel is defective, of which class, its true gain) is
// here too, so that a calibration can be checked against it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pci_frm01_sim {

enum class SceneKind : uint8_t {
  kPhantom,        // the fixed demonstration panel, unchanged
  kDark,           // the seeded panel without exposure
  kFlat,           // the seeded panel under a uniform field
  kPanelPhantom,   // the seeded panel under the phantom
};

// One entry of a schedule: `frames` frames of one scene (0: for ever).
struct SceneStep {
  SceneKind kind = SceneKind::kPhantom;
  double dose = 0.0;  // fraction of full scale for flats and the panel phantom
  uint32_t frames = 0;
};

// "dark", "flat:0.7", "phantom", "phantom:0.5", or a schedule of such entries
// each with "*N" frames, separated by commas ("dark*32,flat:0.2*16"). False
// with `error` set when the text is not one.
bool ParseSceneSchedule(const std::string& text, std::vector<SceneStep>& steps, std::string& error);

// The step a frame of the schedule belongs to, the schedule starting over
// after its last frame.
const SceneStep& StepOfFrame(const std::vector<SceneStep>& steps, uint32_t frameIndex);

enum class DefectClass : uint8_t {
  kNone = 0,
  kDead,             // no response to exposure
  kHot,              // dark reading near full scale or far above the others
  kOverResponding,
  kUnderResponding,
  kNoisy,
  kLine,             // part of a defective half row or column
};

const char* DefectClassName(DefectClass defect);

// The seeded panel. Its tables take about 10 MB.
class CalibrationPanel {
 public:
  explicit CalibrationPanel(uint32_t seed);

  uint32_t Seed() const { return seed_; }
  DefectClass PixelClass(int32_t row, int32_t column) const;
  // The pixel's response to exposure relative to a nominal pixel (defects
  // and line defects included) and its offset, in counts.
  double TrueGain(int32_t row, int32_t column) const;
  double Offset(int32_t row, int32_t column) const;
  // The field's relative intensity at the pixel (about 1): the tube's heel
  // effect and the fall-off towards the corners.
  double Field(int32_t row, int32_t column) const;
  // The pixel-map row flag and column flag the defective lines need (0 for
  // good lines).
  uint8_t RowFlag(int32_t row) const;
  uint8_t ColumnFlag(int32_t column) const;
  // The defective lines, for checks.
  int32_t LeftHalfRow() const { return leftHalfRow_; }
  int32_t RightHalfRow() const { return rightHalfRow_; }
  int32_t DefectiveColumn() const { return column_; }

  // The mean reading of a pixel in `step`, and one frame's reading.
  double MeanReading(const SceneStep& step, int32_t row, int32_t column) const;
  uint16_t Reading(const SceneStep& step, int32_t row, int32_t column, uint32_t frameIndex) const;

  // Raw frame `frameIndex` of `step` (16,204,480 bytes).
  void ComposeRawFrame(const SceneStep& step, uint32_t frameIndex, uint8_t* raw) const;

 private:
  struct Special {
    DefectClass defect = DefectClass::kNone;
    float response = 1.0f;  // times the pixel's gain
    float darkAdd = 0.0f;   // counts added to its offset
    float noise = 1.0f;     // times the ordinary noise
    bool stuck = false;     // reads `darkAdd` whatever happens
  };
  void PlaceDefects();
  void Mark(int32_t row, int32_t column, const Special& special);
  bool Free(int32_t row, int32_t column, int32_t margin) const;
  const Special* SpecialAt(int32_t row, int32_t column) const;

  uint32_t seed_;
  std::vector<uint16_t> specialIndex_;  // per pixel: 0, or 1 + index into specials_
  std::vector<Special> specials_;
  int32_t leftHalfRow_ = 0, rightHalfRow_ = 0, column_ = 0;
  float leftRowResponse_ = 1, rightRowResponse_ = 1, columnResponse_ = 1;
};

}  // namespace pci_frm01_sim
