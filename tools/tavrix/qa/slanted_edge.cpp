#include "slanted_edge.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "fft.h"
#include "tavrix_internal.h"
#include "qa_error.h"

namespace tavrix_qa {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kBlock = 32;             // coarse search: means of 32 x 32 pixels
constexpr double kEdgeOverNoise = 10.0;    // the strongest step against the typical one
constexpr int32_t kHalfAcross = 96;        // pixels either side of the edge taken
constexpr int32_t kHalfAlong = 512;        // lines either side of where it was found
constexpr int32_t kEsfReach = 40;          // pixels of the spread function either side
constexpr int32_t kCentroidReach = 12;     // pixels either side of a line's steepest step
constexpr int32_t kOversampling = 4;
constexpr size_t kTransformLength = 512;   // reaches the Nyquist frequency at bin 64
constexpr int32_t kMinimumLines = 128;
constexpr double kMinimumAngle = 1.0, kMaximumAngle = 10.0;  // degrees
constexpr double kMostClippedFraction = 0.005;

std::string Format(const char* format, double a, double b = 0.0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Where the coarse search found the strongest step, and which way it runs.
struct CoarseEdge {
  MtfDirection direction;
  int32_t row;
  int32_t column;
};

// Means of whole blocks inside one data span; the step between neighbours.
CoarseEdge FindCoarseEdge(const uint16_t* image) {
  std::vector<double> steps;
  double strongest = -1.0;
  CoarseEdge found{MtfDirection::kHorizontal, 0, 0};
  const int32_t blockRows = (kEndDataRow - kFirstDataRow) / kBlock;
  for (const ColumnSpan& span : kDataSpans) {
    const int32_t blockColumns = (span.end - span.first) / kBlock;
    std::vector<double> means(size_t(blockRows) * size_t(blockColumns), 0.0);
    for (int32_t r = 0; r < blockRows * kBlock; ++r) {
      const uint16_t* line = image + size_t(kFirstDataRow + r) * kWidth + size_t(span.first);
      for (int32_t c = 0; c < blockColumns * kBlock; ++c) means[size_t(r / kBlock) * blockColumns + size_t(c / kBlock)] += line[c];
    }
    for (double& m : means) m /= double(kBlock * kBlock);
    const auto consider = [&](double step, MtfDirection direction, int32_t row, int32_t column) {
      steps.push_back(step);
      if (step > strongest) {
        strongest = step;
        found = {direction, row, column};
      }
    };
    for (int32_t br = 0; br < blockRows; ++br) {
      for (int32_t bc = 0; bc < blockColumns; ++bc) {
        const double m = means[size_t(br) * blockColumns + size_t(bc)];
        const int32_t rowCentre = kFirstDataRow + br * kBlock + kBlock / 2;
        const int32_t columnCentre = span.first + bc * kBlock + kBlock / 2;
        if (bc + 1 < blockColumns)
          consider(std::fabs(means[size_t(br) * blockColumns + size_t(bc + 1)] - m), MtfDirection::kHorizontal, rowCentre,
                   span.first + (bc + 1) * kBlock);
        if (br + 1 < blockRows)
          consider(std::fabs(means[size_t(br + 1) * blockColumns + size_t(bc)] - m), MtfDirection::kVertical,
                   kFirstDataRow + (br + 1) * kBlock, columnCentre);
      }
    }
  }
  std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
  const double typical = steps[steps.size() / 2];
  if (!(strongest > kEdgeOverNoise * typical + 1.0))
    FailImages(Format("no edge found: the strongest step between neighbouring 32 x 32 regions is %.1f counts, the typical one %.1f",
                      strongest, typical));
  return found;
}

// The pixels around the edge as lines across it: roi[line * width + i].
struct EdgeRegion {
  Region region;
  int32_t lines = 0;
  int32_t width = 0;
  std::vector<double> pixels;
};

const ColumnSpan& SpanOf(int32_t column) {
  for (const ColumnSpan& span : kDataSpans)
    if (column >= span.first && column < span.end) return span;
  return kDataSpans[column < kWidth / 2 ? 0 : 1];
}

EdgeRegion TakeRegion(const uint16_t* image, const CoarseEdge& edge) {
  const ColumnSpan& span = SpanOf(edge.column);
  const bool horizontal = edge.direction == MtfDirection::kHorizontal;
  // Across the edge and along it, each clipped to the data area.
  const int32_t acrossLow = horizontal ? span.first : kFirstDataRow, acrossHigh = horizontal ? span.end : kEndDataRow;
  const int32_t alongLow = horizontal ? kFirstDataRow : span.first, alongHigh = horizontal ? kEndDataRow : span.end;
  const int32_t acrossCentre = horizontal ? edge.column : edge.row, alongCentre = horizontal ? edge.row : edge.column;
  const int32_t a0 = std::max(acrossLow, acrossCentre - kHalfAcross), a1 = std::min(acrossHigh, acrossCentre + kHalfAcross);
  const int32_t l0 = std::max(alongLow, alongCentre - kHalfAlong), l1 = std::min(alongHigh, alongCentre + kHalfAlong);
  if (a1 - a0 < 2 * kEsfReach + 4 || l1 - l0 < kMinimumLines)
    FailImages("the edge found lies too close to the border or to the columns without data to measure it");
  EdgeRegion roi;
  roi.region = horizontal ? Region{l0, a0, l1 - l0, a1 - a0} : Region{a0, l0, a1 - a0, l1 - l0};
  roi.lines = l1 - l0;
  roi.width = a1 - a0;
  roi.pixels.resize(size_t(roi.lines) * size_t(roi.width));
  size_t clipped = 0;
  for (int32_t t = 0; t < roi.lines; ++t) {
    for (int32_t i = 0; i < roi.width; ++i) {
      const int32_t row = horizontal ? l0 + t : a0 + i, column = horizontal ? a0 + i : l0 + t;
      const uint16_t v = image[size_t(row) * kWidth + size_t(column)];
      if (v == 0 || v >= tavrix::kMaxPixelValue) ++clipped;
      roi.pixels[size_t(t) * roi.width + size_t(i)] = v;
    }
  }
  if (double(clipped) > kMostClippedFraction * double(roi.pixels.size()))
    FailImages(Format("the edge region is clipped: %.1f%% of its pixels read 0 or full scale", 100.0 * clipped / roi.pixels.size()));
  return roi;
}

// The edge's position in each line: the centroid of the step's derivative
// near the steepest step; NaN where the line shows no clear step.
std::vector<double> LinePositions(const EdgeRegion& roi, double& contrast) {
  const int32_t w = roi.width;
  const int32_t side = 16;
  double left = 0.0, right = 0.0;
  for (int32_t t = 0; t < roi.lines; ++t) {
    for (int32_t i = 0; i < side; ++i) {
      left += roi.pixels[size_t(t) * w + size_t(i)];
      right += roi.pixels[size_t(t) * w + size_t(w - 1 - i)];
    }
  }
  contrast = (right - left) / double(side * roi.lines);
  const double sign = contrast >= 0.0 ? 1.0 : -1.0;
  std::vector<double> positions(size_t(roi.lines), std::nan(""));
  std::vector<double> step(size_t(w - 1));
  for (int32_t t = 0; t < roi.lines; ++t) {
    const double* line = &roi.pixels[size_t(t) * w];
    for (int32_t i = 0; i + 1 < w; ++i) step[size_t(i)] = sign * (line[i + 1] - line[i]);
    int32_t peak = 1;
    for (int32_t i = 1; i + 2 < w; ++i)
      if (step[size_t(i - 1)] + step[size_t(i)] + step[size_t(i + 1)] > step[size_t(peak - 1)] + step[size_t(peak)] + step[size_t(peak + 1)]) peak = i;
    double sum = 0.0, moment = 0.0;
    for (int32_t i = std::max(0, peak - kCentroidReach); i <= std::min(w - 2, peak + kCentroidReach); ++i) {
      sum += step[size_t(i)];
      moment += (i + 0.5) * step[size_t(i)];
    }
    if (sum > 0.5 * std::fabs(contrast)) positions[size_t(t)] = moment / sum;
  }
  return positions;
}

// position = offset + slope * line, by least squares, twice: the second time
// without the lines that missed the first fit by far.
void FitLine(const std::vector<double>& positions, double& offset, double& slope) {
  std::vector<bool> use(positions.size());
  for (size_t t = 0; t < positions.size(); ++t) use[t] = !std::isnan(positions[t]);
  for (int pass = 0; pass < 2; ++pass) {
    double n = 0, st = 0, sp = 0, stt = 0, stp = 0;
    for (size_t t = 0; t < positions.size(); ++t) {
      if (!use[t]) continue;
      n += 1;
      st += double(t);
      sp += positions[t];
      stt += double(t) * double(t);
      stp += double(t) * positions[t];
    }
    if (n < kMinimumLines) FailImages(Format("no straight edge found: only %.0f of the lines show a clear step", n));
    slope = (n * stp - st * sp) / (n * stt - st * st);
    offset = (sp - slope * st) / n;
    double squares = 0.0;
    for (size_t t = 0; t < positions.size(); ++t)
      if (use[t]) squares += std::pow(positions[t] - offset - slope * double(t), 2);
    const double limit = std::max(0.5, 3.0 * std::sqrt(squares / n));
    for (size_t t = 0; t < positions.size(); ++t)
      if (use[t] && std::fabs(positions[t] - offset - slope * double(t)) > limit) use[t] = false;
  }
}

// Every pixel within kEsfReach of the edge, by its distance along the
// normal, averaged in bins of a quarter pixel; empty bins interpolated.
std::vector<double> EdgeSpread(const EdgeRegion& roi, double offset, double slope) {
  const double cosine = 1.0 / std::sqrt(1.0 + slope * slope);
  const int32_t bins = 2 * kEsfReach * kOversampling + 1;
  std::vector<double> sums(size_t(bins), 0.0), counts(size_t(bins), 0.0);
  int32_t lines = 0;
  for (int32_t t = 0; t < roi.lines; ++t) {
    const double centre = offset + slope * t;
    if (centre < kEsfReach + 1 || centre > roi.width - kEsfReach - 2) continue;
    ++lines;
    for (int32_t i = 0; i < roi.width; ++i) {
      const double d = (i + 0.5 - centre) * cosine;
      const long bin = std::lround(d * kOversampling) + kEsfReach * kOversampling;
      if (bin < 0 || bin >= bins) continue;
      sums[size_t(bin)] += roi.pixels[size_t(t) * roi.width + size_t(i)];
      counts[size_t(bin)] += 1.0;
    }
  }
  if (lines < kMinimumLines)
    FailImages(Format("the edge crosses the region too steeply: only %.0f lines keep %.0f pixels either side of it", lines,
                      kEsfReach));
  std::vector<double> esf(static_cast<size_t>(bins));
  for (int32_t b = 0; b < bins; ++b) esf[size_t(b)] = counts[size_t(b)] > 0 ? sums[size_t(b)] / counts[size_t(b)] : std::nan("");
  for (int32_t b = 0; b < bins; ++b) {
    if (!std::isnan(esf[size_t(b)])) continue;
    int32_t lo = b, hi = b;
    while (lo >= 0 && std::isnan(esf[size_t(lo)])) --lo;
    while (hi < bins && std::isnan(esf[size_t(hi)])) ++hi;
    if (lo < 0 || hi >= bins) FailImages("the edge spread function has gaps at its ends: the edge is too short");
    esf[size_t(b)] = esf[size_t(lo)] + (esf[size_t(hi)] - esf[size_t(lo)]) * (b - lo) / double(hi - lo);
  }
  return esf;
}

// The derivative (central differences), a Hann window centred on the line
// spread's centroid, the transform; divided by what the binning and the
// differences themselves transfer, so that only the panel's MTF remains.
Curve TransformSpread(const std::vector<double>& esf, double pitchMm) {
  const size_t n = esf.size();
  std::vector<double> lsf(n, 0.0);
  for (size_t k = 1; k + 1 < n; ++k) lsf[k] = 0.5 * (esf[k + 1] - esf[k - 1]);
  double sum = 0.0, moment = 0.0;
  for (size_t k = 0; k < n; ++k) {
    sum += lsf[k];
    moment += double(k) * lsf[k];
  }
  const double centre = moment / sum;
  const double halfWidth = double(kEsfReach * kOversampling);
  std::vector<std::complex<double>> data(kTransformLength, 0.0);
  for (size_t k = 0; k < n; ++k) {
    const double x = (double(k) - centre) / halfWidth;
    const double window = std::fabs(x) < 1.0 ? 0.5 * (1.0 + std::cos(kPi * x)) : 0.0;
    data[k] = lsf[k] * window;
  }
  Fft(kTransformLength).Forward(data.data());
  const double binMm = pitchMm / kOversampling;
  const double nyquist = 0.5 / pitchMm;
  Curve curve;
  const double zero = std::abs(data[0]);
  for (size_t k = 0; k < kTransformLength / 2; ++k) {
    const double f = double(k) / (double(kTransformLength) * binMm);
    if (f > nyquist * (1.0 + 1e-9)) break;
    const double x = kPi * f * binMm;
    const double binning = k == 0 ? 1.0 : std::sin(x) / x;
    const double difference = k == 0 ? 1.0 : std::sin(2.0 * x) / (2.0 * x);
    curve.frequenciesPerMm.push_back(f);
    curve.values.push_back(std::abs(data[k]) / zero / (binning * difference));
  }
  return curve;
}

}  // namespace

const char* DirectionName(MtfDirection direction) {
  return direction == MtfDirection::kHorizontal ? "horizontal" : "vertical";
}

EdgeMtf MeasurePresampledMtf(const uint16_t* image, const EdgeOptions& options) {
  if (!(options.pitchMm > 0.0)) FailArgument("the pixel pitch must be above 0 mm");
  const CoarseEdge coarse = FindCoarseEdge(image);
  const EdgeRegion roi = TakeRegion(image, coarse);
  EdgeMtf result;
  result.direction = coarse.direction;
  result.region = roi.region;
  const std::vector<double> positions = LinePositions(roi, result.contrast);
  double offset = 0.0, slope = 0.0;
  FitLine(positions, offset, slope);
  result.angleDegrees = std::atan(slope) * 180.0 / kPi;
  const double angle = std::fabs(result.angleDegrees);
  if (angle < kMinimumAngle || angle > kMaximumAngle)
    FailImages(std::string("the edge (") + DirectionName(coarse.direction) + " MTF) " +
               Format("lies at %.2f degrees from the axis; the slanted-edge method needs %.0f to 10 degrees", angle,
                      kMinimumAngle));
  result.mtf = TransformSpread(EdgeSpread(roi, offset, slope), options.pitchMm);
  return result;
}

}  // namespace tavrix_qa
