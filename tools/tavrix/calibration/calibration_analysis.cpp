#include "calibration/calibration_analysis.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "reports/map_report.h"
#include "reports/statistics.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::kImageHeight;
using tavrix::kImagePixels;
using tavrix::kImageWidth;
using tavrix::kMapWidth;

constexpr uint8_t kCodeGood = tavrix::kGoodPixel;
constexpr uint8_t kCodeDefective = 1;
constexpr uint8_t kCodeGross = tavrix::kFillCode;  // filled before the gain step
// The response's reference: the median of the neighbourhood, taken once
// per tile of pixels, which is as good at this scale and much faster.
constexpr int32_t kResponseTile = 7;
constexpr int32_t kUniformityTile = 3;
// The reference lines of a line's trend are those the repair fits through
// (beyond its centre band), and two flagged lines closer than the repair's
// reach are not rebuilt reliably.
constexpr int32_t kTrendNear = tavrix::kCentreHalfWidth + 1;
constexpr int32_t kTrendFar = tavrix::kReferenceReach;
constexpr int32_t kMinLineDistance = tavrix::kReferenceReach + 1;
// Gains the map may hold, and the gain of what carries no data.
constexpr float kMinGain = 0.05f;
constexpr float kMaxGain = 20.0f;
constexpr float kNeutralGain = 1.0f;
constexpr int32_t kGainFillReach = 2;  // a defective pixel's gain: the mean of good ones within
// Doses for the residual the gain map leaves elsewhere, in tenths of full scale.
constexpr int kResidualSteps = 9;
constexpr int32_t kResidualStride = 3;  // every third pixel is enough for a CV

using tavrix::internal::InDataArea;
using tavrix::internal::IsDatalessColumn;

const int32_t kVisibleFirst = tavrix::kBorderMaskWidth;
const int32_t kVisibleLast = kImageHeight - 1 - tavrix::kBorderMaskWidth;
const int32_t kLeftDataLast = tavrix::kReadoutColumns - 1;
const int32_t kRightDataFirst = kImageWidth - tavrix::kReadoutColumns;

}  // namespace

std::string WindowName(int32_t side) { return std::to_string(side) + " x " + std::to_string(side); }

namespace {

size_t At(int32_t row, int32_t column) { return size_t(row) * kImageWidth + size_t(column); }

bool IsData(int32_t column) { return !IsDatalessColumn(column); }

// The median of `values` over the pixels where `use` holds.
double MedianWhere(const std::vector<float>& values, const std::function<bool(size_t, int32_t)>& use) {
  std::vector<float> picked;
  picked.reserve(kImagePixels);
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (use(At(r, c), c)) picked.push_back(values[At(r, c)]);
  return Median(picked);
}

struct Moments {
  double sum = 0, squares = 0;
  size_t count = 0;
  void Add(double x) {
    sum += x;
    squares += x * x;
    ++count;
  }
  double Mean() const { return count ? sum / double(count) : 0.0; }
  double Cv() const {
    if (count < 2 || Mean() == 0.0) return 0.0;
    const double variance = std::max(0.0, squares / double(count) - Mean() * Mean());
    return std::sqrt(variance) / std::fabs(Mean());
  }
};

// The readout chip a row or a column belongs to: a pixel is compared only
// with pixels its own chip reads, since the chips' gains and offsets step by
// several per cent from one to the next.
int32_t ChipRow(int32_t row) { return row / tavrix::kReadoutChipRows; }
int32_t ChipColumn(int32_t column) { return column / tavrix::kReadoutChipColumns; }

// The median of the usable pixels of a pixel's chip in the window around
// its tile, held once per tile; tiles and windows end at the chip's edges.
class LocalMedian {
 public:
  LocalMedian(const std::vector<float>& values, const std::vector<uint8_t>& usable, int32_t window, int32_t tile)
      : tile_(tile),
        tileRows_((tavrix::kReadoutChipRows + tile - 1) / tile),
        tileColumns_((tavrix::kReadoutChipColumns + tile - 1) / tile),
        medians_(size_t(kChipRows) * kChipColumns * size_t(tileRows_) * size_t(tileColumns_)) {
    std::vector<float> samples;
    const int32_t half = window / 2;
    for (int32_t chipTop = 0; chipTop < kImageHeight; chipTop += tavrix::kReadoutChipRows)
      for (int32_t chipLeft = 0; chipLeft < kImageWidth; chipLeft += tavrix::kReadoutChipColumns) {
        const int32_t chipBottom = chipTop + tavrix::kReadoutChipRows - 1;
        const int32_t chipRight = chipLeft + tavrix::kReadoutChipColumns - 1;
        for (int32_t top = chipTop; top <= chipBottom; top += tile)
          for (int32_t left = chipLeft; left <= chipRight; left += tile) {
            const int32_t centreRow = std::min(top + tile / 2, chipBottom);
            const int32_t centreColumn = std::min(left + tile / 2, chipRight);
            samples.clear();
            for (int32_t r = std::max(chipTop, centreRow - half); r <= std::min(chipBottom, centreRow + half); ++r)
              for (int32_t c = std::max(chipLeft, centreColumn - half); c <= std::min(chipRight, centreColumn + half);
                   ++c)
                if (usable[At(r, c)]) samples.push_back(values[At(r, c)]);
            medians_[Tile(top, left)] = float(Median(samples));
          }
      }
  }
  float operator[](size_t i) const { return medians_[Tile(int32_t(i / kImageWidth), int32_t(i % kImageWidth))]; }

 private:
  static constexpr size_t kChipRows = size_t(kImageHeight / tavrix::kReadoutChipRows);
  static constexpr size_t kChipColumns = size_t(kImageWidth / tavrix::kReadoutChipColumns);
  size_t Tile(int32_t row, int32_t column) const {
    const size_t chip = size_t(ChipRow(row)) * kChipColumns + size_t(ChipColumn(column));
    const size_t tileRow = size_t(row % tavrix::kReadoutChipRows / tile_);
    const size_t tileColumn = size_t(column % tavrix::kReadoutChipColumns / tile_);
    return (chip * size_t(tileRows_) + tileRow) * size_t(tileColumns_) + tileColumn;
  }
  int32_t tile_, tileRows_, tileColumns_;
  std::vector<float> medians_;
};

// The analysis' working state, shared by its steps.
struct Work {
  const FrameSetStats& darks;
  const std::vector<const FrameSetStats*>& levels;
  const CalibrationSettings& settings;
  CalibrationResult& result;
  std::vector<double> medianSignal;  // per level
  std::vector<uint8_t> gross;
  std::vector<uint8_t> dataMask;

  PixelClass& Class(size_t i) { return reinterpret_cast<PixelClass&>(result.classes[i]); }
  bool Good(size_t i) const { return PixelClass(result.classes[i]) == PixelClass::kGood; }
  void Mark(size_t i, PixelClass c, bool isGross) {
    if (Good(i)) Class(i) = c;
    if (isGross) gross[i] = 1;
  }
  const FrameSetStats& Top() const { return *levels.back(); }
  // Flat minus dark, computed where needed rather than held: 38 MB a level.
  float Signal(size_t level, size_t i) const { return levels[level]->mean[i] - darks.mean[i]; }
  float TopSignal(size_t i) const { return Signal(levels.size() - 1, i); }
};

void FindHot(Work& w) {
  w.result.darkMedian = MedianWhere(w.darks.mean, [](size_t, int32_t c) { return IsData(c); });
  w.result.darkNoise = w.darks.medianDeviation;
  for (size_t i = 0; i < kImagePixels; ++i) {
    if (!w.dataMask[i]) continue;
    const float dark = w.darks.mean[i];
    if (w.darks.saturated[i] || dark >= kNearFullScale || dark - w.result.darkMedian > w.settings.hotAbove)
      w.Mark(i, PixelClass::kHot, true);
  }
}

void FindResponseDefects(Work& w) {
  for (size_t k = 0; k < w.levels.size(); ++k) {
    const FrameSetStats& flat = *w.levels[k];
    std::vector<float> signal(kImagePixels);
    for (size_t i = 0; i < kImagePixels; ++i) signal[i] = w.Signal(k, i);
    w.medianSignal.push_back(MedianWhere(signal, [](size_t, int32_t c) { return IsData(c); }));
    const LocalMedian reference(signal, w.dataMask, kResponseWindow, kResponseTile);
    for (size_t i = 0; i < kImagePixels; ++i) {
      if (!w.dataMask[i] || PixelClass(w.result.classes[i]) == PixelClass::kHot) continue;
      if (flat.saturated[i]) {
        w.Mark(i, PixelClass::kOverResponding, true);  // reaches full scale where the others do not
        continue;
      }
      if (signal[i] < w.settings.deadBelow * w.medianSignal[k]) {
        w.Mark(i, PixelClass::kDead, true);
        continue;
      }
      const double ratio = reference[i] > 0 ? signal[i] / reference[i] : 0.0;
      if (ratio > w.settings.overAbove) w.Mark(i, PixelClass::kOverResponding, ratio > w.settings.grossOver);
      if (ratio < w.settings.underBelow) w.Mark(i, PixelClass::kUnderResponding, ratio < w.settings.grossUnder);
    }
  }
  if (w.levels.size() < 2) return;
  // A pixel that does not change between the lowest and the highest dose.
  const FrameSetStats& low = *w.levels.front();
  const FrameSetStats& high = w.Top();
  std::vector<float> change(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i) change[i] = high.mean[i] - low.mean[i];
  const double medianChange = MedianWhere(change, [&](size_t i, int32_t) { return w.dataMask[i] != 0; });
  for (size_t i = 0; i < kImagePixels; ++i)
    if (w.dataMask[i] && !high.saturated[i] && change[i] < w.settings.deadBelow * medianChange)
      w.Mark(i, PixelClass::kDead, true);
}

void FindNoisy(Work& w) {
  for (size_t i = 0; i < kImagePixels; ++i)
    if (w.dataMask[i] && w.darks.deviation[i] > w.settings.noisyAbove * w.result.darkNoise)
      w.Mark(i, PixelClass::kNoisy, false);
}

// Gain = T / F for one level; the least-squares gain over several.
void ComputeGains(Work& w) {
  std::vector<double> target;
  for (const FrameSetStats* level : w.levels)
    target.push_back(MedianWhere(level->mean, [&](size_t i, int32_t) { return w.dataMask[i] && w.Good(i); }));
  std::vector<float>& gains = w.result.gains;
  gains.assign(kImagePixels, kNeutralGain);
  for (size_t i = 0; i < kImagePixels; ++i) {
    if (!w.dataMask[i]) continue;
    double sum = 0, squares = 0;
    for (size_t k = 0; k < w.levels.size(); ++k) {
      const double r = w.levels[k]->mean[i] / target[k];
      sum += r;
      squares += r * r;
    }
    gains[i] = squares > 0 ? float(sum / squares) : 0.0f;
  }
}

bool UsableGain(float g) { return std::isfinite(g) && g >= kMinGain && g <= kMaxGain; }

// Defective pixels take the mean gain of the good pixels around them: the
// fill value of a code-2 pixel is multiplied by it, so it must be like its
// neighbours'. No data pixel keeps a gain the correction cannot use.
void SettleGains(Work& w) {
  std::vector<float>& gains = w.result.gains;
  const std::vector<float>& measured = gains;
  // Filled gains wait here, so that every fill reads measured gains only.
  std::vector<std::pair<size_t, float>> filled;
  for (int32_t r = 0; r < kImageHeight; ++r) {
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const size_t i = At(r, c);
      if (!w.dataMask[i]) continue;
      const PixelClass cls = PixelClass(w.result.classes[i]);
      if ((cls == PixelClass::kGood || cls == PixelClass::kLine) && UsableGain(measured[i])) continue;
      double sum = 0;
      int count = 0;
      for (int32_t rr = std::max(0, r - kGainFillReach); rr <= std::min(kImageHeight - 1, r + kGainFillReach); ++rr)
        for (int32_t cc = std::max(0, c - kGainFillReach); cc <= std::min(kImageWidth - 1, c + kGainFillReach); ++cc) {
          const size_t j = At(rr, cc);
          if (w.dataMask[j] && w.Good(j) && UsableGain(measured[j])) {
            sum += measured[j];
            ++count;
          }
        }
      filled.push_back({i, count > 0 ? float(sum / count) : kNeutralGain});
    }
  }
  for (const auto& [i, gain] : filled) gains[i] = gain;
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) {
      const bool unused = r < tavrix::kGainFrameWidth || r >= kImageHeight - tavrix::kGainFrameWidth || c < tavrix::kGainFrameWidth ||
                          c >= kImageWidth - tavrix::kGainFrameWidth || !IsData(c);
      float& g = gains[At(r, c)];
      if (unused) g = kNeutralGain;
      else if (!UsableGain(g)) g = std::isfinite(g) ? std::clamp(g, kMinGain, kMaxGain) : kNeutralGain;
    }
}

void FindNonUniform(Work& w, const FrameSetStats& check) {
  std::vector<float>& corrected = w.result.correctedCheck;
  corrected.assign(kImagePixels, 0.0f);
  std::vector<uint8_t> usable(kImagePixels, 0);
  for (size_t i = 0; i < kImagePixels; ++i) {
    usable[i] = w.dataMask[i] && w.Good(i) && !check.saturated[i];
    if (w.dataMask[i]) corrected[i] = check.mean[i] * w.result.gains[i];
  }
  const double median = MedianWhere(corrected, [&](size_t i, int32_t) { return usable[i] != 0; });
  if (median > 0)
    for (float& x : corrected) x = float(x / median);
  const LocalMedian reference(corrected, usable, kUniformityWindow, kUniformityTile);
  for (size_t i = 0; i < kImagePixels; ++i)
    if (usable[i] && reference[i] > 0 && std::fabs(corrected[i] / reference[i] - 1.0) > w.settings.nonUniformAbove)
      w.Mark(i, PixelClass::kNonUniform, false);
}

// Mean signal and defect count of a stretch of a line.
struct LineStretch {
  double mean = 0;
  size_t pixels = 0, defective = 0;
};

template <typename PixelOf>
LineStretch MeasureStretch(Work& w, int32_t from, int32_t to, PixelOf pixel) {
  Moments m;
  LineStretch s;
  for (int32_t k = from; k <= to; ++k) {
    const size_t i = pixel(k);
    if (!w.dataMask[i]) continue;
    ++s.pixels;
    if (!w.Good(i)) ++s.defective;
    if (!w.gross[i]) m.Add(w.TopSignal(i));
  }
  s.mean = m.Mean();
  return s;
}

// The reason a line is defective, or "".
std::string LineVerdict(const CalibrationSettings& settings, const std::vector<LineStretch>& stretches, int32_t index,
                        const std::function<bool(int32_t)>& valid, int32_t (*chip)(int32_t)) {
  const LineStretch& s = stretches[size_t(index)];
  if (s.pixels == 0) return "";
  if (double(s.defective) > settings.lineFraction * double(s.pixels))
    return std::to_string(s.defective) + " of " + std::to_string(s.pixels) + " pixels defective";
  // The median of the reference lines, so that a defective line among them
  // does not make its neighbours look defective; only lines of the same
  // chips, so that a chip's first or last line is not measured against the
  // next chip's gain.
  std::vector<float> references;
  for (int32_t d : {-kTrendFar, -kTrendNear, kTrendNear, kTrendFar})
    if (valid(index + d) && chip(index + d) == chip(index) && stretches[size_t(index + d)].pixels > 0)
      references.push_back(float(stretches[size_t(index + d)].mean));
  std::sort(references.begin(), references.end());
  const size_t n = references.size();
  if (n == 0) return "";
  const double trend = n % 2 == 1 ? references[n / 2] : (references[n / 2 - 1] + references[n / 2]) / 2.0;
  if (trend <= 0) return "";
  const double departure = s.mean / trend - 1.0;
  if (std::fabs(departure) > settings.lineDeparture)
    return "mean " + std::to_string(int(std::lround(departure * 100))) + " % off the lines 2 and 3 away on its chip";
  return "";
}

void MarkLine(Work& w, int32_t fromRow, int32_t toRow, int32_t fromColumn, int32_t toColumn) {
  for (int32_t r = fromRow; r <= toRow; ++r)
    for (int32_t c = fromColumn; c <= toColumn; ++c)
      if (IsData(c)) {
        w.result.classes[At(r, c)] = uint8_t(PixelClass::kLine);
        w.gross[At(r, c)] = 0;
      }
}

void FindLines(Work& w) {
  const auto visible = [](int32_t k) { return k >= kVisibleFirst && k <= kVisibleLast; };
  std::vector<LineStretch> left(kImageHeight), right(kImageHeight), columns(kImageWidth);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    left[size_t(r)] = MeasureStretch(w, kVisibleFirst, kLeftDataLast, [r](int32_t c) { return At(r, c); });
    right[size_t(r)] = MeasureStretch(w, kRightDataFirst, kVisibleLast, [r](int32_t c) { return At(r, c); });
  }
  for (int32_t c = 0; c < kImageWidth; ++c)
    columns[size_t(c)] = MeasureStretch(w, kVisibleFirst, kVisibleLast, [c](int32_t r) { return At(r, c); });
  for (int32_t r = kVisibleFirst; r <= kVisibleLast; ++r) {
    const std::string leftReason = LineVerdict(w.settings, left, r, visible, ChipRow);
    const std::string rightReason = LineVerdict(w.settings, right, r, visible, ChipRow);
    const uint8_t flag = uint8_t((leftReason.empty() ? 0 : tavrix::kRowFlagLeftHalf) |
                                 (rightReason.empty() ? 0 : tavrix::kRowFlagRightHalf));
    if (flag == 0) continue;
    w.result.rows.push_back({r, flag, leftReason.empty() ? "right half: " + rightReason
                                      : rightReason.empty() ? "left half: " + leftReason
                                                            : "both halves: " + leftReason});
  }
  const auto dataVisible = [&](int32_t c) { return visible(c) && IsData(c); };
  for (int32_t c = kVisibleFirst; c <= kVisibleLast; ++c) {
    if (!IsData(c)) continue;
    const std::string reason = LineVerdict(w.settings, columns, c, dataVisible, ChipColumn);
    if (!reason.empty()) w.result.columns.push_back({c, 1, reason});
  }
  const int32_t half = kImageWidth / 2;
  for (const LineFlag& row : w.result.rows) {
    if (row.flag & tavrix::kRowFlagLeftHalf) MarkLine(w, row.index, row.index, 0, half - 1);
    if (row.flag & tavrix::kRowFlagRightHalf) MarkLine(w, row.index, row.index, half, kImageWidth - 1);
  }
  for (const LineFlag& column : w.result.columns) MarkLine(w, 0, kImageHeight - 1, column.index, column.index);
}

uint8_t CodeOf(const Work& w, size_t i, int32_t column) {
  if (column == kLeftDataLast + 1 || column == kRightDataFirst - 1) return kCodeDefective;  // never a neighbour
  if (!w.dataMask[i]) return kCodeGood;
  switch (PixelClass(w.result.classes[i])) {
    case PixelClass::kGood:
    case PixelClass::kLine:
      return kCodeGood;
    case PixelClass::kBadNeighbourhood:
      return kCodeGross;
    default:
      return w.gross[i] ? kCodeGross : kCodeDefective;
  }
}

int GoodNeighbours(const std::vector<uint8_t>& map, int32_t r, int32_t c) {
  int good = 0;
  for (int32_t rr = r - 1; rr <= r + 1; ++rr)
    for (int32_t cc = c - 1; cc <= c + 1; ++cc)
      if ((rr != r || cc != c) && map[size_t(rr) * kMapWidth + size_t(cc)] == kCodeGood) ++good;
  return good;
}

// The fill reads rows r-2..r and columns c-2..c: it must stay inside the
// image and off the columns without data.
bool Fillable(int32_t r, int32_t c) {
  return r >= tavrix::kFillReach && c >= tavrix::kFillReach &&
         !(c - tavrix::kFillReach <= kRightDataFirst - 1 && c >= kRightDataFirst);
}

void BuildPixelMap(Work& w) {
  std::vector<uint8_t>& map = w.result.pixelMap;
  map.assign(size_t(kMapWidth) * tavrix::kMapHeight, 0);
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) map[size_t(r) * kMapWidth + size_t(c)] = CodeOf(w, At(r, c), c);
  // A good pixel whose eight neighbours are all bad is as unreliable as they.
  for (int32_t r = 1; r < kImageHeight - 1; ++r)
    for (int32_t c = 1; c < kImageWidth - 1; ++c) {
      const size_t m = size_t(r) * kMapWidth + size_t(c);
      if (map[m] == kCodeGood && w.dataMask[At(r, c)] && GoodNeighbours(map, r, c) == 0) {
        w.result.classes[At(r, c)] = uint8_t(PixelClass::kBadNeighbourhood);
        map[m] = kCodeGross;
      }
    }
  // Without a good neighbour only the fill gives a pixel a value.
  for (int32_t r = 1; r < kImageHeight - 1; ++r)
    for (int32_t c = 1; c < kImageWidth - 1; ++c) {
      const size_t m = size_t(r) * kMapWidth + size_t(c);
      if (map[m] == kCodeGood || !w.dataMask[At(r, c)] || GoodNeighbours(map, r, c) > 0) continue;
      if (Fillable(r, c)) {
        map[m] = kCodeGross;
      } else if (InDataArea(r, c)) {
        w.result.refusals.push_back("pixel (" + std::to_string(r) + ", " + std::to_string(c) +
                                    ") has no good neighbour and cannot be filled");
      }
    }
  for (const LineFlag& row : w.result.rows) map[size_t(row.index) * kMapWidth + size_t(kImageWidth)] = row.flag;
  for (const LineFlag& column : w.result.columns)
    map[size_t(kImageHeight) * kMapWidth + size_t(column.index)] = column.flag;
}

void CheckLines(Work& w) {
  const auto checkSpacing = [&](const std::vector<LineFlag>& lines, const char* what, bool rows) {
    for (size_t a = 0; a + 1 < lines.size(); ++a) {
      const LineFlag& x = lines[a];
      const LineFlag& y = lines[a + 1];
      if (y.index - x.index >= kMinLineDistance) continue;
      if (rows && (x.flag & y.flag) == 0) continue;
      w.result.refusals.push_back(std::string(what) + "s " + std::to_string(x.index) + " and " +
                                  std::to_string(y.index) + " are defective and closer than " +
                                  std::to_string(kMinLineDistance) + ": the repair rebuilds neither reliably");
    }
  };
  checkSpacing(w.result.rows, "row", true);
  checkSpacing(w.result.columns, "column", false);
  for (const LineFlag& row : w.result.rows)
    if (RowFlagEffect(row.index, row.flag) != LineEffect::kRepaired)
      w.result.refusals.push_back("row " + std::to_string(row.index) + " is defective where the row repair does not reach");
  for (const LineFlag& column : w.result.columns)
    if (ColumnFlagEffect(column.index) != LineEffect::kRepaired)
      w.result.refusals.push_back("column " + std::to_string(column.index) +
                                  " is defective where the column repair does not work (it would read the columns "
                                  "without data or lies beyond its reach)");
}

size_t FloodCluster(const std::vector<uint8_t>& map, std::vector<uint8_t>& seen, int32_t row, int32_t column) {
  std::vector<std::pair<int32_t, int32_t>> pending{{row, column}};
  seen[At(row, column)] = 1;
  size_t size = 0;
  while (!pending.empty()) {
    const auto [r, c] = pending.back();
    pending.pop_back();
    ++size;
    for (int32_t rr = r - 1; rr <= r + 1; ++rr)
      for (int32_t cc = c - 1; cc <= c + 1; ++cc) {
        if (!InDataArea(rr, cc) || seen[At(rr, cc)] || map[size_t(rr) * kMapWidth + size_t(cc)] == kCodeGood) continue;
        seen[At(rr, cc)] = 1;
        pending.push_back({rr, cc});
      }
  }
  return size;
}

void CountFigures(Work& w, const FrameSetStats& check) {
  CalibrationResult& res = w.result;
  std::vector<uint8_t> seen(kImagePixels, 0);
  for (int32_t r = kVisibleFirst; r <= kVisibleLast; ++r)
    for (int32_t c = kVisibleFirst; c <= kVisibleLast; ++c) {
      if (!IsData(c)) continue;
      const size_t i = At(r, c);
      const uint8_t code = res.pixelMap[size_t(r) * kMapWidth + size_t(c)];
      ++res.pixelsByClass[res.classes[i]];
      ++res.pixelsByCode[std::min<uint8_t>(code, 2)];
      if (code != kCodeGood && !seen[i]) {
        const size_t size = FloodCluster(res.pixelMap, seen, r, c);
        if (size > 1) res.clusterSizes.push_back(size);
      }
    }
  std::sort(res.clusterSizes.rbegin(), res.clusterSizes.rend());
  const auto goodVisible = [&](int32_t r, int32_t c) { return InDataArea(r, c) && w.Good(At(r, c)); };
  for (size_t k = 0; k < w.levels.size(); ++k) {
    LevelFigures f;
    Moments before, after;
    for (int32_t r = kVisibleFirst; r <= kVisibleLast; ++r)
      for (int32_t c = kVisibleFirst; c <= kVisibleLast; ++c)
        if (goodVisible(r, c)) {
          before.Add(w.Signal(k, At(r, c)));
          after.Add(w.levels[k]->mean[At(r, c)] * res.gains[At(r, c)]);
        }
    f.medianReading = MedianWhere(w.levels[k]->mean, [&](size_t i, int32_t) { return w.dataMask[i] != 0; });
    f.medianSignal = w.medianSignal[k];
    f.cvBefore = before.Cv();
    f.cvAfter = after.Cv();
    f.temporalNoise = w.levels[k]->medianDeviation;
    res.levels.push_back(f);
  }
  Moments corrected, raw;
  for (int32_t r = kVisibleFirst; r <= kVisibleLast; ++r)
    for (int32_t c = kVisibleFirst; c <= kVisibleLast; ++c)
      if (goodVisible(r, c)) {
        corrected.Add(res.correctedCheck[At(r, c)]);
        raw.Add(check.mean[At(r, c)] - w.darks.mean[At(r, c)]);
      }
  res.checkCv = corrected.Cv();
  res.checkCvRaw = raw.Cv();
  // The gain map holds the offset too: at another dose the offset's share
  // of the reading differs, and that leaves this residual.
  for (int step = 1; step <= kResidualSteps; ++step) {
    const double fraction = step / 10.0;
    const double scale = (fraction * kFullScale - res.darkMedian) / w.medianSignal.back();
    if (scale <= 0) continue;
    Moments m;
    for (int32_t r = kVisibleFirst; r <= kVisibleLast; r += kResidualStride)
      for (int32_t c = kVisibleFirst; c <= kVisibleLast; c += kResidualStride)
        if (goodVisible(r, c)) m.Add((w.darks.mean[At(r, c)] + scale * w.TopSignal(At(r, c))) * res.gains[At(r, c)]);
    res.residuals.push_back({fraction, m.Cv()});
  }
  res.rowProfile.assign(kImageHeight, 0.0f);
  res.columnProfile.assign(kImageWidth, 0.0f);
  std::vector<double> columnSums(kImageWidth, 0.0);
  for (int32_t r = 0; r < kImageHeight; ++r) {
    double sum = 0;
    int count = 0;
    for (int32_t c = 0; c < kImageWidth; ++c) {
      if (!IsData(c)) continue;
      const double x = w.TopSignal(At(r, c)) / w.medianSignal.back();
      sum += x;
      ++count;
      columnSums[size_t(c)] += x;
    }
    res.rowProfile[size_t(r)] = float(sum / count);
  }
  for (int32_t c = 0; c < kImageWidth; ++c)
    res.columnProfile[size_t(c)] = IsData(c) ? float(columnSums[size_t(c)] / kImageHeight) : 0.0f;
}

}  // namespace

const char* PixelClassName(PixelClass c) {
  switch (c) {
    case PixelClass::kGood:
      return "good";
    case PixelClass::kHot:
      return "hot";
    case PixelClass::kDead:
      return "dead";
    case PixelClass::kOverResponding:
      return "over-responding";
    case PixelClass::kUnderResponding:
      return "under-responding";
    case PixelClass::kNoisy:
      return "noisy";
    case PixelClass::kNonUniform:
      return "non-uniform";
    case PixelClass::kBadNeighbourhood:
      return "bad-neighbourhood";
    case PixelClass::kLine:
      return "line";
    default:
      return "?";
  }
}

double DataMedian(const std::vector<float>& values) {
  return MedianWhere(values, [](size_t, int32_t c) { return IsData(c); });
}

std::string FlatLevelProblem(const FrameSetStats& flat, const FrameSetStats& darks) {
  constexpr double kMaxSaturatedFraction = 0.005;
  constexpr double kMinMedianFraction = 0.05;
  const auto data = [](size_t, int32_t c) { return IsData(c); };
  const double flatMedian = MedianWhere(flat.mean, data);
  const double darkMedian = MedianWhere(darks.mean, data);
  if (darkMedian >= flatMedian)
    return "the darks (median " + std::to_string(int(darkMedian)) + ") are as bright as this flat level (median " +
           std::to_string(int(flatMedian)) + ")";
  size_t saturated = 0, pixels = 0;
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c)
      if (IsData(c)) {
        ++pixels;
        saturated += flat.saturated[At(r, c)];
      }
  if (double(saturated) > kMaxSaturatedFraction * double(pixels))
    return std::to_string(saturated) + " data pixels (" + std::to_string(100.0 * saturated / pixels).substr(0, 4) +
           " %) at full scale, more than 0.5 %: lower the dose";
  if (flatMedian < kMinMedianFraction * kFullScale)
    return "median " + std::to_string(int(flatMedian)) + " is below 5 % of full scale: raise the dose";
  return "";
}

CalibrationResult Calibrate(const FrameSetStats& darks, const std::vector<const FrameSetStats*>& levels,
                            const FrameSetStats* check, const CalibrationSettings& settings) {
  CalibrationResult result;
  Work w{darks, levels, settings, result, {}, std::vector<uint8_t>(kImagePixels, 0),
         std::vector<uint8_t>(kImagePixels, 0)};
  result.classes.assign(kImagePixels, uint8_t(PixelClass::kGood));
  for (int32_t r = 0; r < kImageHeight; ++r)
    for (int32_t c = 0; c < kImageWidth; ++c) w.dataMask[At(r, c)] = IsData(c);
  FindHot(w);
  FindResponseDefects(w);
  FindNoisy(w);
  ComputeGains(w);
  result.checkGiven = check != nullptr;
  const FrameSetStats& independent = check != nullptr ? *check : w.Top();
  FindNonUniform(w, independent);
  FindLines(w);
  SettleGains(w);
  // The check flat once more with the gains the map finally holds.
  for (size_t i = 0; i < kImagePixels; ++i) result.correctedCheck[i] = independent.mean[i] * result.gains[i];
  const double median = MedianWhere(result.correctedCheck, [&](size_t i, int32_t) { return w.dataMask[i] && w.Good(i); });
  for (size_t i = 0; i < kImagePixels; ++i)
    result.correctedCheck[i] = w.dataMask[i] && median > 0 ? float(result.correctedCheck[i] / median) : 0.0f;
  BuildPixelMap(w);
  CheckLines(w);
  CountFigures(w, independent);
  return result;
}

}  // namespace tavrix_tool
