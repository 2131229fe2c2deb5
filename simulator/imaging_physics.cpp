#include "imaging_physics.h"

#include <cmath>
#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "correction/border_mask.h"
#include "grabber/frame_grabber.h"
#include "platform/dimensions.h"
#include "platform/pixel_rules.h"
#include "pixel_hash.h"
#include "simulated_panel.h"

namespace pci_frm01_sim {
namespace {

using tavrix::kImageHeight;
using tavrix::kImagePixels;
using tavrix::kImageWidth;

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kKernelRadius = 4;  // taps either side; beyond 4 sigma of the spread
constexpr uint32_t kQuantumSalt = 0x3C6EF372u;
constexpr uint32_t kElectronicSalt = 0xA54FF53Au;
constexpr uint32_t kFixedPatternSalt = 0x510E527Fu;

// About normal with unit variance: four uniforms from two hashes (the noise
// power depends on the variance only, and this is cheap and exact everywhere).
double Gaussian(uint32_t a, uint32_t b) {
  const double sum = double(a & 0xFFFFu) + double(a >> 16) + double(b & 0xFFFFu) + double(b >> 16);
  return (sum / 65535.0 - 2.0) * std::sqrt(3.0);
}

double PixelGaussian(int32_t row, int32_t column, uint32_t salt) {
  return Gaussian(PixelHash(row, column, salt), PixelHash(row, column, salt ^ 0x9E3779B9u));
}

uint32_t FrameSalt(uint32_t seed, uint32_t frame, uint32_t kind) { return Mix(Mix(seed ^ kind) + frame * 0x85EBCA6Bu); }

// The quantum noise's spread on the pixel grid: the light spread sampled at
// the pixel pitch, summing to 1 so that the mean signal is kept.
struct NoiseKernel {
  double taps[2 * kKernelRadius + 1];
  explicit NoiseKernel(const ImagingModel& model) {
    const double s = model.blurSigmaMm / model.pitchMm;
    double sum = 0.0;
    for (int32_t j = -kKernelRadius; j <= kKernelRadius; ++j) sum += taps[j + kKernelRadius] = std::exp(-0.5 * j * j / (s * s));
    for (double& tap : taps) tap /= sum;
  }
  double Transfer(double frequency, double pitch) const {
    double k = 0.0;
    for (int32_t j = -kKernelRadius; j <= kKernelRadius; ++j) k += taps[j + kKernelRadius] * std::cos(2.0 * kPi * frequency * pitch * j);
    return k;
  }
};

// Counts per absorbed quantum.
double QuantumGain(const ImagingModel& model) {
  return model.countsPerUGy / (model.absorbedFraction * model.quantaPerMm2PerUGy * model.pitchMm * model.pitchMm);
}

void BlurAlongRows(const NoiseKernel& kernel, std::vector<double>& field, std::vector<double>& scratch) {
  for (int32_t r = 0; r < kImageHeight; ++r) {
    const double* in = &field[size_t(r) * kImageWidth];
    double* out = &scratch[size_t(r) * kImageWidth];
    for (int32_t c = 0; c < kImageWidth; ++c) {
      double sum = 0.0;
      for (int32_t j = -kKernelRadius; j <= kKernelRadius; ++j) {
        const int32_t cc = c + j;
        if (cc >= 0 && cc < kImageWidth) sum += kernel.taps[j + kKernelRadius] * in[cc];
      }
      out[c] = sum;
    }
  }
}

void BlurAlongColumns(const NoiseKernel& kernel, const std::vector<double>& field, std::vector<double>& out) {
  for (int32_t r = 0; r < kImageHeight; ++r) {
    double* o = &out[size_t(r) * kImageWidth];
    for (int32_t c = 0; c < kImageWidth; ++c) o[c] = 0.0;
    for (int32_t j = -kKernelRadius; j <= kKernelRadius; ++j) {
      const int32_t rr = r + j;
      if (rr < 0 || rr >= kImageHeight) continue;
      const double tap = kernel.taps[j + kKernelRadius];
      const double* in = &field[size_t(rr) * kImageWidth];
      for (int32_t c = 0; c < kImageWidth; ++c) o[c] += tap * in[c];
    }
  }
}

bool Dataless(int32_t column) {
  return column >= tavrix::kReadoutColumns && column < kImageWidth - tavrix::kReadoutColumns;
}

bool Masked(int32_t row, int32_t column) {
  const int32_t b = tavrix::kBorderMaskWidth;
  return row < b || column < b || row >= kImageHeight - b || column >= kImageWidth - b;
}

// One frame: the mean signal above the dark level (`mean`, noiseless, and
// `carried` from earlier frames), quantum noise on `mean` through the
// spread, then the dark level, fixed pattern, electronic noise and rounding.
std::vector<uint16_t> Expose(const ImagingModel& model, uint32_t seed, uint32_t frame, const std::vector<double>& mean,
                             const std::vector<double>* carried) {
  const double gain = QuantumGain(model);
  const uint32_t quantumSalt = FrameSalt(seed, frame, kQuantumSalt);
  const uint32_t electronicSalt = FrameSalt(seed, frame, kElectronicSalt);
  const uint32_t patternSalt = FrameSalt(seed, 0, kFixedPatternSalt);
  std::vector<double> field(kImagePixels), scratch(kImagePixels);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const size_t i = size_t(r) * kImageWidth + size_t(c);
      field[i] = mean[i] > 0.0 ? std::sqrt(gain * mean[i]) * PixelGaussian(r, c, quantumSalt) : 0.0;
    }
  }
  const NoiseKernel kernel(model);
  BlurAlongRows(kernel, field, scratch);
  BlurAlongColumns(kernel, scratch, field);
  std::vector<uint16_t> image(kImagePixels);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const size_t i = size_t(r) * kImageWidth + size_t(c);
      if (Masked(r, c)) {
        image[i] = tavrix::kMaxPixelValue;
        continue;
      }
      if (Dataless(c)) {
        image[i] = 0;
        continue;
      }
      double x = model.darkLevel + model.fixedPatternNoise * PixelGaussian(r, c, patternSalt) + mean[i] + field[i] +
                 model.electronicNoise * PixelGaussian(r, c, electronicSalt);
      if (carried != nullptr) x += (*carried)[i];
      image[i] = tavrix::ClampToPixel(x + 0.5);  // rounded, not truncated: no bias
    }
  }
  return image;
}

double Phi(double t) { return 0.5 * std::erfc(-t / std::sqrt(2.0)); }
double SmallPhi(double t) { return std::exp(-0.5 * t * t) / std::sqrt(2.0 * kPi); }
// First and second antiderivatives of Phi.
double Phi1(double t) { return t * Phi(t) + SmallPhi(t); }
double Phi2(double t) { return 0.5 * ((t * t + 1.0) * Phi(t) + t * SmallPhi(t)); }

// The open fraction seen by a pixel whose centre lies `d` mm on the open side
// of the edge: the Gaussian-blurred step averaged over the square aperture,
// whose projection across the edge is a box of w1 convolved with a box of w2.
double ApertureStep(double d, double sigma, double w1, double w2) {
  const double reach = 8.0 * sigma + w1 + w2;
  if (d > reach) return 1.0;
  if (d < -reach) return 0.0;
  const double h1 = 0.5 * w1, h2 = 0.5 * w2;
  if (w2 < 1e-9) return sigma * (Phi1((d + h1) / sigma) - Phi1((d - h1) / sigma)) / w1;
  const auto f2 = [&](double x) { return sigma * sigma * Phi2(x / sigma); };
  return (f2(d + h1 + h2) - f2(d + h1 - h2) - f2(d - h1 + h2) + f2(d - h1 - h2)) / (w1 * w2);
}

}  // namespace

std::vector<uint16_t> RenderFlat(const ImagingModel& model, uint32_t seed, uint32_t frame, double kermaUGy) {
  const std::vector<double> mean(kImagePixels, model.countsPerUGy * kermaUGy);
  return Expose(model, seed, frame, mean, nullptr);
}

std::vector<uint16_t> RenderDark(const ImagingModel& model, uint32_t seed, uint32_t frame) {
  return Expose(model, seed, frame, std::vector<double>(kImagePixels, 0.0), nullptr);
}

std::vector<uint16_t> RenderEdge(const ImagingModel& model, const EdgeScene& scene, uint32_t seed) {
  const double theta = scene.angleDegrees * kPi / 180.0;
  const double p = model.pitchMm;
  const double w1 = p * std::fabs(std::cos(theta)), w2 = p * std::fabs(std::sin(theta));
  const double open = model.countsPerUGy * scene.kermaUGy;
  std::vector<double> mean(kImagePixels);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const double across = scene.direction == EdgeDirection::kHorizontal ? c - scene.centreColumn : r - scene.centreRow;
      const double along = scene.direction == EdgeDirection::kHorizontal ? r - scene.centreRow : c - scene.centreColumn;
      const double d = (across * std::cos(theta) - along * std::sin(theta)) * p;
      const double fraction = ApertureStep(d, model.blurSigmaMm, w1, w2);
      mean[size_t(r) * kImageWidth + size_t(c)] = open * (scene.transmission + (1.0 - scene.transmission) * fraction);
    }
  }
  return Expose(model, seed, 0, mean, nullptr);
}

std::vector<std::vector<uint16_t>> RenderLagSequence(const ImagingModel& model, uint32_t seed, double kermaUGy) {
  const double full = model.countsPerUGy * kermaUGy;
  std::vector<std::vector<uint16_t>> frames;
  std::vector<double> carried(kImagePixels, 0.0), mean(kImagePixels);
  for (int k = 0; k < kLagSequenceFrames; ++k) {
    for (int32_t r = 0; r < kImageHeight; ++r) {
      const bool band = r < kLagBandRows;
      double m = 0.0;
      if (k == 1 && band) m = full;
      if (k == 3) m = band ? full * (1.0 - model.ghost) : full;
      for (int32_t c = 0; c < kImageWidth; ++c) mean[size_t(r) * kImageWidth + size_t(c)] = m;
    }
    frames.push_back(Expose(model, seed, uint32_t(k), mean, &carried));
    for (size_t i = 0; i < kImagePixels; ++i) carried[i] = model.lag * (mean[i] + carried[i]);
  }
  return frames;
}

void ImageToRawFrame(const uint16_t* image, uint8_t* raw) {
  std::memset(raw, 0, size_t(tavrix::kRawFrameBytes));
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const int64_t word = RawWordIndex(r, c);
      if (word >= 0) std::memcpy(raw + size_t(word) * 2, &image[size_t(r) * kImageWidth + size_t(c)], 2);
    }
  }
}

double TruePresampledMtf(const ImagingModel& model, double frequency) {
  const double s = model.blurSigmaMm;
  const double x = kPi * model.pitchMm * frequency;
  const double aperture = x == 0.0 ? 1.0 : std::fabs(std::sin(x) / x);
  return std::exp(-2.0 * kPi * kPi * s * s * frequency * frequency) * aperture;
}

double TrueNnps(const ImagingModel& model, double kermaUGy, double u, double v) {
  const NoiseKernel kernel(model);
  const double k = kernel.Transfer(u, model.pitchMm) * kernel.Transfer(v, model.pitchMm);
  const double quanta = model.absorbedFraction * model.quantaPerMm2PerUGy * kermaUGy;
  const double signal = model.countsPerUGy * kermaUGy;
  const double whiteVariance = model.electronicNoise * model.electronicNoise +
                               model.fixedPatternNoise * model.fixedPatternNoise + 1.0 / 12.0;
  return k * k / quanta + model.pitchMm * model.pitchMm * whiteVariance / (signal * signal);
}

double TrueDqe(const ImagingModel& model, double kermaUGy, double frequency) {
  const double mtf = TruePresampledMtf(model, frequency);
  return mtf * mtf / (model.quantaPerMm2PerUGy * kermaUGy * TrueNnps(model, kermaUGy, frequency, 0.0));
}

double TrueGhostContrast(const ImagingModel& model) { return model.lag * model.lag - model.ghost; }

}  // namespace pci_frm01_sim
