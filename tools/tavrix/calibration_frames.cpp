#include "calibration_frames.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "acquisition/read_frame.h"
#include "command_line.h"
#include "image_files.h"
#include "map_report.h"
#include "platform/dimensions.h"
#include "grabber/frame_grabber.h"

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

// Rows per band of the running sums: 64 rows, 3.5 MB of sums.
constexpr int32_t kBandRows = 64;
constexpr size_t kBandPixels = size_t(kBandRows) * tavrix::kImageWidth;
static_assert(tavrix::kImageHeight % kBandRows == 0, "the bands cover the image");

}  // namespace

FrameSetAccumulator::FrameSetAccumulator() : bands_(size_t(tavrix::kImageHeight / kBandRows)) {
  for (Band& band : bands_) {
    band.sum.assign(kBandPixels, 0);
    band.squares.assign(kBandPixels, 0);
    band.kept.assign(kBandPixels, 0);
    band.low.assign(kBandPixels, UINT16_MAX);
    band.high.assign(kBandPixels, 0);
  }
}

void FrameSetAccumulator::Add(const uint16_t* image) {
  ++frames_;
  for (Band& band : bands_) {
    for (size_t i = 0; i < kBandPixels; ++i) {
      const uint16_t v = image[i];
      if (v >= kNearFullScale) continue;
      band.sum[i] += v;
      band.squares[i] += uint32_t(v) * v;
      ++band.kept[i];
      band.low[i] = std::min(band.low[i], v);
      band.high[i] = std::max(band.high[i], v);
    }
    image += kBandPixels;
  }
}

FrameSetStats FrameSetAccumulator::Finish(Deviations keep) && {
  FrameSetStats stats;
  stats.frames = frames_;
  stats.mean.assign(tavrix::kImagePixels, float(kFullScale));
  stats.deviation.assign(tavrix::kImagePixels, 0.0f);
  stats.saturated.assign(tavrix::kImagePixels, 0);
  size_t at = 0;
  for (Band& band : bands_) {
    for (size_t i = 0; i < kBandPixels; ++i, ++at) {
      stats.saturated[at] = 2 * int(band.kept[i]) <= frames_ ? 1 : 0;
      if (band.kept[i] == 0) continue;
      Moments m{double(band.sum[i]), double(band.squares[i]), int(band.kept[i])};
      m = RejectIfOutlier(m, band.high[i]);
      m = RejectIfOutlier(m, band.low[i]);
      stats.mean[at] = float(m.Mean());
      stats.deviation[at] = float(std::sqrt(m.Variance() * m.count / std::max(1, m.count - 1)));
    }
    band = Band();
  }
  bands_.clear();
  stats.medianDeviation = DataMedian(stats.deviation);
  if (keep == Deviations::kMedianOnly) std::vector<float>().swap(stats.deviation);
  return stats;
}

double DataMedian(const std::vector<float>& values) {
  std::vector<float> data;
  data.reserve(values.size());
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
    for (int32_t c = 0; c < tavrix::kImageWidth; ++c)
      if (!IsDatalessColumn(c)) data.push_back(values[size_t(r) * tavrix::kImageWidth + size_t(c)]);
  if (data.empty()) return 0.0;
  const auto middle = data.begin() + ptrdiff_t(data.size() / 2);
  std::nth_element(data.begin(), middle, data.end());
  return *middle;
}

std::vector<int> CountRawFrames(const std::vector<std::string>& files) {
  std::vector<int> counts;
  for (const uint64_t count : RawFrameCounts(files))
    counts.push_back(int(std::min<uint64_t>(count, uint64_t(kMaxFramesPerSet) + 1)));
  return counts;
}

void AccumulateRawFiles(const std::vector<std::string>& files, FrameSetAccumulator& accumulator,
                        const std::function<void(int done)>& progress) {
  const std::vector<int> counts = CountRawFrames(files);
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  std::vector<uint16_t> image(tavrix::kImagePixels, 0);
  for (size_t f = 0; f < files.size(); ++f) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(files[f].c_str(), "rb"), std::fclose);
    if (!file) throw Failure(files[f] + ": " + std::strerror(errno));
    for (int k = 0; k < counts[f]; ++k) {
      if (std::fread(raw.data(), 1, raw.size(), file.get()) != raw.size())
        throw Failure(files[f] + ": frame " + std::to_string(k) + " could not be read");
      tavrix::ReadOutFrame(raw.data(), image.data(), tavrix::kImageWidth, tavrix::kImageHeight);
      accumulator.Add(image.data());
      progress(accumulator.Frames());
    }
  }
}

}  // namespace tavrix_tool
