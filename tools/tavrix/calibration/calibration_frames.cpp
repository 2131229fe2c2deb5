#include "calibration/calibration_frames.h"

#include <algorithm>
#include <cmath>

#include "files/raw_frames.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

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

FrameSetStats FrameSetAccumulator::Finish() const {
  FrameSetStats stats;
  stats.frames = frames_;
  stats.mean.assign(tavrix::kImagePixels, float(kFullScale));
  stats.deviation.assign(tavrix::kImagePixels, 0.0f);
  stats.saturated.assign(tavrix::kImagePixels, 0);
  for (size_t i = 0; i < tavrix::kImagePixels; ++i) {
    stats.saturated[i] = 2 * int(kept_[i]) <= frames_ ? 1 : 0;
    if (kept_[i] == 0) continue;
    Moments m{double(sum_[i]), double(squares_[i]), int(kept_[i])};
    m = RejectIfOutlier(m, high_[i]);
    m = RejectIfOutlier(m, low_[i]);
    stats.mean[i] = float(m.Mean());
    stats.deviation[i] = float(std::sqrt(m.Variance() * m.count / std::max(1, m.count - 1)));
  }
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
