// Sets of uncorrected frames reduced to per-pixel statistics as they stream
// in: each frame is read once and never kept, so a set of any length needs
// the same memory: 18 bytes a pixel while it is read (170 MB), then 5 or 9
// bytes a pixel for its statistics.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tavrix_internal.h"

namespace tavrix_tool {

// Samples at or above this are at full scale for the calibration: they say
// nothing about the pixel's response and are left out of its mean.
constexpr uint16_t kNearFullScale = 16300;
constexpr double kFullScale = double(tavrix::kMaxPixelValue);
// A sample further than this many standard deviations of the others from
// their mean is an outlier (a direct hit, a transfer error) and left out.
constexpr double kOutlierSigmas = 5.0;
constexpr int kMinFramesPerSet = 8;
constexpr int kMaxFramesPerSet = 4096;  // sums of 14-bit samples stay in 32 bits

// What a set of frames says about each image pixel.
struct FrameSetStats {
  int frames = 0;
  std::vector<float> mean;         // of the kept samples; full scale when none was kept
  std::vector<float> deviation;    // temporal standard deviation of the kept samples (may be dropped)
  std::vector<uint8_t> saturated;  // at least half the samples at full scale
  double medianDeviation = 0;      // of the data columns' pixels: the set's temporal noise
};

// Whether Finish keeps each pixel's deviation (the darks' noisy-pixel test
// needs it) or only their median (a flat's figure), which saves 38 MB a set
// and is found without holding them.
enum class Deviations : uint8_t { kKeep, kMedianOnly };

// Per-pixel running sums, minimum and maximum, exact in integers; Finish()
// drops at most the lowest and the highest sample of each pixel when they
// are outliers.
class FrameSetAccumulator {
 public:
  FrameSetAccumulator();
  void Add(const uint16_t* image);  // one read-out image, 3072 x 3072
  int Frames() const { return frames_; }
  FrameSetStats Finish(Deviations keep = Deviations::kKeep) const;

 private:
  struct Sample {
    float mean, deviation;
  };
  Sample At(size_t i) const;
  int frames_ = 0;
  std::vector<uint32_t> sum_;
  std::vector<uint64_t> squares_;
  std::vector<uint16_t> kept_, low_, high_;
};

// Frames in each raw-frame file (RawFrameCounts), counted up to one more than
// a set may hold.
std::vector<int> CountRawFrames(const std::vector<std::string>& files);

// Reads every frame of `files` once through `accumulator`, calling
// `progress(done)` after each.
void AccumulateRawFiles(const std::vector<std::string>& files, FrameSetAccumulator& accumulator,
                        const std::function<void(int done)>& progress);

}  // namespace tavrix_tool
