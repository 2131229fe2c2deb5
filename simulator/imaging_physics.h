// The imaging physics of the simulated panel, for the physicist's
// measurements: a known presampled MTF (a Gaussian spread of the light,
// applied before sampling, and the square pixel aperture), quantum noise that
// passes through the same spread, electronic and fixed-pattern noise, a linear
// response to air kerma at RQA5, lag and ghost. Scenes are rendered as
// corrected images (neutral maps: the border masked, the columns without data
// at 0), and the truth of every measurement is computed from the same model.
#pragma once

#include <cstdint>
#include <vector>

namespace pci_frm01_sim {

struct ImagingModel {
  double pitchMm = 0.139;
  double blurSigmaMm = 0.08;             // Gaussian spread in the scintillator
  double absorbedFraction = 0.7;         // of the incident quanta
  double quantaPerMm2PerUGy = 29653.0;   // RQA5, IEC 62220-1-1:2015
  double countsPerUGy = 1000.0;          // response above the dark level
  double darkLevel = 100.0;              // counts
  double electronicNoise = 4.0;          // counts rms, new in every frame
  double fixedPatternNoise = 2.0;        // counts rms, the dark level from pixel to pixel
  double lag = 0.02;                     // fraction of the previous frame's signal
  double ghost = 0.01;                   // sensitivity lost where an earlier frame was exposed
};

// Which way the slanted edge lets the MTF be measured: kHorizontal along the
// rows (an almost vertical edge), kVertical along the columns.
enum class EdgeDirection : uint8_t { kHorizontal, kVertical };

struct EdgeScene {
  EdgeDirection direction = EdgeDirection::kHorizontal;
  double angleDegrees = 2.0;   // from the column (or row) axis
  double centreRow = 1536.3;   // a point of the edge, in pixels
  double centreColumn = 660.4; // the middle of the left data half: the centre gets no data
  double kermaUGy = 10.0;      // on the open side
  double transmission = 0.02;  // of the covered side
};

// The lag sequence's frames: dark, an exposure of the rows above
// kLagBandRows, dark (the lag), a flat exposure (the ghost).
constexpr int32_t kLagBandRows = 1536;
constexpr int kLagSequenceFrames = 4;

// Corrected images of 3072 x 3072 pixels; `frame` makes the noise of one
// exposure differ from the next, `seed` the panel.
std::vector<uint16_t> RenderFlat(const ImagingModel& model, uint32_t seed, uint32_t frame, double kermaUGy);
std::vector<uint16_t> RenderDark(const ImagingModel& model, uint32_t seed, uint32_t frame);
std::vector<uint16_t> RenderEdge(const ImagingModel& model, const EdgeScene& scene, uint32_t seed);
std::vector<std::vector<uint16_t>> RenderLagSequence(const ImagingModel& model, uint32_t seed, double kermaUGy);

// The raw frame (16,204,480 bytes) whose readout gives `image` in every
// column the readout delivers: what the simulated frame grabber would
// deliver for a scene, with neutral calibration maps.
void ImageToRawFrame(const uint16_t* image, uint8_t* raw);

// The truth. Frequencies in cycles per mm.
double TruePresampledMtf(const ImagingModel& model, double frequency);
// The normalised noise power spectrum (mm^2) at (u, v) of a flat field at
// `kermaUGy`, after the dark level is taken off (rounding to counts included).
double TrueNnps(const ImagingModel& model, double kermaUGy, double u, double v);
// DQE along an axis: MTF^2 / (q K NNPS).
double TrueDqe(const ImagingModel& model, double kermaUGy, double frequency);
// The mean of the exposed band's rows in the lag sequence's last frame
// relative to the unexposed ones, minus 1: about -ghost.
double TrueGhostContrast(const ImagingModel& model);

}  // namespace pci_frm01_sim
