#include "noise_power.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>

#include "fft.h"
#include "tavrix_internal.h"
#include "qa_error.h"

namespace tavrix_qa {
namespace {

constexpr int32_t kN = kNoiseRegionSize;
constexpr int32_t kHalfN = kN / 2;
constexpr int32_t kStride = kN / 2;      // regions overlap by half
constexpr int32_t kCutLines = 7;         // either side of an axis
constexpr double kBinReach = 2.0;        // frequency steps either side of a bin's centre
constexpr double kMostClippedFraction = 0.001;
constexpr double kLeastSignal = 1.0;      // counts above the dark level: less is an empty flat

using Complex = std::complex<double>;

std::vector<Region> RegionsOfOneFlat() {
  std::vector<Region> regions;
  for (int32_t top = kFirstDataRow; top + kN <= kEndDataRow; top += kStride)
    for (const ColumnSpan& span : kDataSpans)
      for (int32_t left = span.first; left + kN <= span.end; left += kStride) regions.push_back({top, left, kN, kN});
  return regions;
}

std::string Where(size_t flat, const Region& region) {
  return "flat " + std::to_string(flat + 1) + ", region at row " + std::to_string(region.top) + " column " +
         std::to_string(region.left);
}

// The region's pixels less a second-order surface fitted by least squares:
// on a centred square grid 1, x, y, xy, x^2 - c and y^2 - c are orthogonal,
// so each coefficient is one projection. Returns the region's mean.
double TakeDetrended(const uint16_t* image, const Region& region, double* out, size_t flat) {
  const double centre = 0.5 * (kN - 1);
  double sx2 = 0.0, c = 0.0, s4 = 0.0;
  for (int32_t i = 0; i < kN; ++i) sx2 += (i - centre) * (i - centre);
  c = sx2 / kN;
  for (int32_t i = 0; i < kN; ++i) s4 += std::pow((i - centre) * (i - centre) - c, 2);
  double p1 = 0, px = 0, py = 0, pxy = 0, pxx = 0, pyy = 0;
  size_t clipped = 0;
  for (int32_t r = 0; r < kN; ++r) {
    const uint16_t* line = image + size_t(region.top + r) * kWidth + size_t(region.left);
    const double y = r - centre;
    double sum = 0, sumX = 0, sumXX = 0;
    for (int32_t k = 0; k < kN; ++k) {
      const double v = line[k];
      if (line[k] == 0 || line[k] >= tavrix::kMaxPixelValue) ++clipped;
      out[size_t(r) * kN + size_t(k)] = v;
      const double x = k - centre;
      sum += v;
      sumX += v * x;
      sumXX += v * (x * x - c);
    }
    p1 += sum;
    px += sumX;
    py += sum * y;
    pxy += sumX * y;
    pxx += sumXX;
    pyy += sum * (y * y - c);
  }
  if (double(clipped) > kMostClippedFraction * kN * kN)
    FailImages(Where(flat, region) + ": " + std::to_string(clipped) + " pixels read 0 or full scale (saturated or empty)");
  const double n = double(kN) * kN;
  const double a0 = p1 / n, ax = px / (sx2 * kN), ay = py / (sx2 * kN), axy = pxy / (sx2 * sx2);
  const double axx = pxx / (s4 * kN), ayy = pyy / (s4 * kN);
  for (int32_t r = 0; r < kN; ++r) {
    const double y = r - centre;
    for (int32_t k = 0; k < kN; ++k) {
      const double x = k - centre;
      out[size_t(r) * kN + size_t(k)] -= a0 + ax * x + ay * y + axy * x * y + axx * (x * x - c) + ayy * (y * y - c);
    }
  }
  return a0;
}

// |F(u, v)|^2 added to `power` (u = 0..kN/2, v = 0..kN-1, u major), which is
// all a real input has: the rest is its mirror. Rows go through the
// transform two at a time, as the real and imaginary parts of one.
class Spectrum {
 public:
  Spectrum() : fft_(kN), line_(kN), columns_(size_t(kHalfN + 1) * kN) {}

  void Add(const double* region, double weight, std::vector<double>& power) {
    for (int32_t r = 0; r < kN; r += 2) {
      for (int32_t k = 0; k < kN; ++k) line_[size_t(k)] = Complex(region[size_t(r) * kN + size_t(k)], region[size_t(r + 1) * kN + size_t(k)]);
      fft_.Forward(line_.data());
      for (int32_t u = 0; u <= kHalfN; ++u) {
        const Complex z = line_[size_t(u)], mirror = std::conj(line_[size_t((kN - u) % kN)]);
        columns_[size_t(u) * kN + size_t(r)] = 0.5 * (z + mirror);
        columns_[size_t(u) * kN + size_t(r + 1)] = Complex(0.0, -0.5) * (z - mirror);
      }
    }
    for (int32_t u = 0; u <= kHalfN; ++u) {
      Complex* column = &columns_[size_t(u) * kN];
      fft_.Forward(column);
      for (int32_t v = 0; v < kN; ++v) power[size_t(u) * kN + size_t(v)] += weight * std::norm(column[v]);
    }
  }

 private:
  Fft fft_;
  std::vector<Complex> line_;
  std::vector<Complex> columns_;
};

// P(u, v) for any signed u, v from the half that is kept.
double PowerAt(const std::vector<double>& power, int32_t u, int32_t v) {
  if (u < 0) {
    u = -u;
    v = -v;
  }
  return power[size_t(u) * kN + size_t(((v % kN) + kN) % kN)];
}

// Lines 1..7 either side of the axis, each value at its radial frequency,
// added to every bin whose centre lies within kBinReach frequency steps of
// it (a running mean that divides the variance of each point by about
// five); the bins of 1 to kN/2 steps.
Curve Cut(const std::vector<double>& power, bool alongU, double step) {
  std::vector<double> sums(size_t(kHalfN + 1), 0.0), counts(size_t(kHalfN + 1), 0.0);
  for (int32_t a = -kHalfN; a < kHalfN; ++a) {
    for (int32_t b = -kCutLines; b <= kCutLines; ++b) {
      if (b == 0) continue;
      const double radius = std::sqrt(double(a) * a + double(b) * b);
      const double value = alongU ? PowerAt(power, a, b) : PowerAt(power, b, a);
      for (int32_t bin = std::max(0, int32_t(std::ceil(radius - kBinReach))); bin <= std::min(kHalfN, int32_t(std::floor(radius + kBinReach))); ++bin) {
        sums[size_t(bin)] += value;
        counts[size_t(bin)] += 1.0;
      }
    }
  }
  Curve curve;
  for (int32_t bin = 1; bin <= kHalfN; ++bin) {
    curve.frequenciesPerMm.push_back(bin * step);
    curve.values.push_back(sums[size_t(bin)] / counts[size_t(bin)]);
  }
  return curve;
}

}  // namespace

NoisePower MeasureNoisePower(const std::vector<const uint16_t*>& flats, const NoiseOptions& options) {
  if (!(options.pitchMm > 0.0)) FailArgument("the pixel pitch must be above 0 mm");
  const std::vector<Region> regions = RegionsOfOneFlat();
  const size_t total = regions.size() * flats.size();
  if (total < size_t(kMinimumNoiseRegions)) {
    const size_t needed = (size_t(kMinimumNoiseRegions) + regions.size() - 1) / regions.size();
    FailImages(std::to_string(flats.size()) + " flat(s) give " + std::to_string(total) + " regions of 256 x 256; at least " +
               std::to_string(kMinimumNoiseRegions) + " are needed (" + std::to_string(needed) + " flats)");
  }
  std::vector<double> power(size_t(kHalfN + 1) * kN, 0.0);
  std::vector<double> region(size_t(kN) * kN);
  Spectrum spectrum;
  double signalSum = 0.0;
  for (size_t f = 0; f < flats.size(); ++f) {
    for (const Region& r : regions) {
      const double signal = TakeDetrended(flats[f], r, region.data(), f) - options.darkLevel;
      if (!(signal > kLeastSignal)) FailImages(Where(f, r) + ": no signal above the dark level (an empty flat?)");
      signalSum += signal;
      // Each region normalised by its own mean: the field may vary slowly.
      spectrum.Add(region.data(), 1.0 / (signal * signal), power);
    }
  }
  const double pixelArea = options.pitchMm * options.pitchMm;
  for (double& p : power) p *= pixelArea / (double(kN) * kN * double(total));
  const double step = 1.0 / (kN * options.pitchMm);
  NoisePower result;
  result.horizontal = Cut(power, true, step);
  result.vertical = Cut(power, false, step);
  result.average = result.horizontal;
  for (size_t i = 0; i < result.average.values.size(); ++i)
    result.average.values[i] = 0.5 * (result.horizontal.values[i] + result.vertical.values[i]);
  result.meanSignal = signalSum / double(total);
  result.regions = int32_t(total);
  result.flats = int32_t(flats.size());
  return result;
}

}  // namespace tavrix_qa
