#include "calibration/calibration_frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/raw_frames.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using tavrix::internal::IsDatalessColumn;

// Below this spread the others are as good as constant (a stuck pixel): a
// sample must still stand this far from them to be an outlier.
constexpr double kMinOutlierSpread = 2.0;

struct Moments {
  double sum, squares;
  int count;
  double Mean() const { return sum / count; }
  double Variance() const { return std::max(0.0, squares / count - Mean() * Mean()); }
  Moments Without(double x) const { return {sum - x, squares - x * x, count - 1}; }
};

// Drops `x` from `m` when it lies too far from the other samples.
Moments RejectIfOutlier(const Moments& m, double x) {
  if (m.count < 4) return m;
  const Moments others = m.Without(x);
  const double spread = std::max(kMinOutlierSpread, kOutlierSigmas * std::sqrt(others.Variance()));
  return std::fabs(x - others.Mean()) > spread ? others : m;
}

// The median of non-negative values without holding them: a count of the
// values by the upper half of their bits (which orders such floats), then
// the values of the one bin that holds the median. Exact, like a sort.
class StreamedMedian {
 public:
  // Pass 1: every value.
  void Count(float x) {
    ++bins_[Bin(x)];
    ++count_;
  }
  // Between the passes: the bin of the median, and the rank within it.
  void Settle() {
    target_ = count_ / 2;
    size_t below = 0;
    for (bin_ = 0; bin_ + 1 < bins_.size() && below + bins_[bin_] <= target_; ++bin_) below += bins_[bin_];
    target_ -= below;
  }
  // Pass 2: every value again, in any order.
  void Collect(float x) {
    if (Bin(x) == bin_) inBin_.push_back(x);
  }
  double Median() {
    if (target_ >= inBin_.size()) return 0.0;
    std::nth_element(inBin_.begin(), inBin_.begin() + ptrdiff_t(target_), inBin_.end());
    return inBin_[target_];
  }

 private:
  static size_t Bin(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits >> 16;
  }
  std::vector<size_t> bins_ = std::vector<size_t>(size_t(1) << 16, 0);
  size_t count_ = 0, target_ = 0, bin_ = 0;
  std::vector<float> inBin_;
};

bool IsDataPixel(size_t i) { return !IsDatalessColumn(int32_t(i % size_t(tavrix::kImageWidth))); }

}  // namespace

FrameSetAccumulator::FrameSetAccumulator()
    : sum_(tavrix::kImagePixels, 0),
      squares_(tavrix::kImagePixels, 0),
      kept_(tavrix::kImagePixels, 0),
      low_(tavrix::kImagePixels, UINT16_MAX),
      high_(tavrix::kImagePixels, 0) {}

void FrameSetAccumulator::Add(const uint16_t* image) {
  ++frames_;
  for (size_t i = 0; i < tavrix::kImagePixels; ++i) {
    const uint16_t v = image[i];
    if (v >= kNearFullScale) continue;
    sum_[i] += v;
    squares_[i] += uint32_t(v) * v;
    ++kept_[i];
    low_[i] = std::min(low_[i], v);
    high_[i] = std::max(high_[i], v);
  }
}

FrameSetAccumulator::Sample FrameSetAccumulator::At(size_t i) const {
  if (kept_[i] == 0) return {float(kFullScale), 0.0f};
  Moments m{double(sum_[i]), double(squares_[i]), int(kept_[i])};
  m = RejectIfOutlier(m, high_[i]);
  m = RejectIfOutlier(m, low_[i]);
  return {float(m.Mean()), float(std::sqrt(m.Variance() * m.count / std::max(1, m.count - 1)))};
}

FrameSetStats FrameSetAccumulator::Finish(Deviations keep) const {
  FrameSetStats stats;
  stats.frames = frames_;
  stats.mean.resize(tavrix::kImagePixels);
  stats.saturated.resize(tavrix::kImagePixels);
  if (keep == Deviations::kKeep) stats.deviation.resize(tavrix::kImagePixels);
  StreamedMedian median;
  for (size_t i = 0; i < tavrix::kImagePixels; ++i) {
    stats.saturated[i] = 2 * int(kept_[i]) <= frames_ ? 1 : 0;
    const Sample sample = At(i);
    stats.mean[i] = sample.mean;
    if (keep == Deviations::kKeep) stats.deviation[i] = sample.deviation;
    if (IsDataPixel(i)) median.Count(sample.deviation);
  }
  median.Settle();
  for (size_t i = 0; i < tavrix::kImagePixels; ++i)
    if (IsDataPixel(i)) median.Collect(At(i).deviation);
  stats.medianDeviation = median.Median();
  return stats;
}

std::vector<int> CountRawFrames(const std::vector<std::string>& files) {
  std::vector<int> counts;
  for (const uint64_t count : RawFrameCounts(files))
    counts.push_back(int(std::min<uint64_t>(count, uint64_t(kMaxFramesPerSet) + 1)));
  return counts;
}

void AccumulateRawFiles(const std::vector<std::string>& files, FrameSetAccumulator& accumulator,
                        const std::function<void(int done)>& progress) {
  std::vector<uint64_t> counts;
  for (const int count : CountRawFrames(files)) counts.push_back(uint64_t(count));
  std::vector<uint16_t> image(tavrix::kImagePixels, 0);
  ReadRawFrames(files, counts, [&](const std::string& file, uint64_t index, const uint8_t* frame) {
    tavrix::internal::ReadOut(frame, image.data());
    RequirePanelRange(file, index, image.data());
    accumulator.Add(image.data());
    progress(accumulator.Frames());
    return true;
  });
}

}  // namespace tavrix_tool
