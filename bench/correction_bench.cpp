// Cost of the correction of one full-size frame, as a whole and step by
// step, on a plausible exposure with realistic maps (a few thousand defective
// pixels, a few flagged half-rows and columns). Every iteration first restores
// the frame with a memcpy of the image; that copy, timed in the same
// iterations, is the yardstick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correction/correct_image.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/impulse_noise.h"
#include "correction/line_defects.h"
#include "detector/dimensions.h"
#include "support/correction_images.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavrix::kImageHeight;
using tavrix::kImageWidth;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

struct Scene {
  Scene()
      : frame(tavrix_test::SimulatedExposure(kImageWidth, kImageHeight, 1)),
        pixelMap(kImageWidth, kImageHeight),
        gainMap(kImageWidth, kImageHeight) {
    tavrix_test::AddRandomDefects(pixelMap, kImageWidth, kImageHeight, 3000, 2);
    for (int32_t r : {700, 1500, 2300}) pixelMap.SetRowFlag(r, tavrix::kRowFlagRightHalf);
    pixelMap.SetRowFlag(1900, tavrix::kRowFlagBothHalves);
    for (int32_t c : {0, 900, 2100, 3071}) pixelMap.SetColumnFlag(c, 1);
    tavrix_test::FillRealisticGains(gainMap, kImageWidth, kImageHeight);
    // Hot and dead pixels where the map says so, and a few the map misses.
    for (int32_t i = 0; i < 500; ++i) frame((i * 7919) % kImageHeight, (i * 104729) % kImageWidth) = i % 2 ? 16000 : 0;
  }
  tavrix_test::TestImage frame;
  tavrix_test::TestPixelMap pixelMap;
  tavrix_test::TestGainMap gainMap;
};

const Scene& TheScene() {
  static const Scene scene;
  return scene;
}

template <class Step>
void RunAgainstCopy(benchmark::State& state, Step step) {
  const Scene& scene = TheScene();
  std::vector<uint16_t> image(tavrix::kImagePixels);
  std::vector<double> stepTimes, copyTimes;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::memcpy(image.data(), scene.frame.pixels().data(), image.size() * sizeof(uint16_t));
    benchmark::ClobberMemory();
    const Clock::time_point copied = Clock::now();
    step(image.data(), scene);
    benchmark::ClobberMemory();
    const Clock::time_point done = Clock::now();
    copyTimes.push_back(Milliseconds(start, copied));
    stepTimes.push_back(Milliseconds(copied, done));
    state.SetIterationTime(Milliseconds(copied, done) / 1000.0);
  }
  state.counters["median_ms"] = Median(stepTimes);
  state.counters["memcpy_median_ms"] = Median(copyTimes);
  state.counters["ratio_to_memcpy"] = Median(stepTimes) / Median(copyTimes);
}

void BM_CorrectImage(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene& s) {
    tavrix::CorrectImage(image, kImageWidth, kImageHeight, s.pixelMap.rows(), s.gainMap.rows());
  });
}

void BM_FilterImpulseNoise(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene&) {
    tavrix::FilterImpulseNoise(image, kImageWidth, kImageHeight);
  });
}

void BM_FillFlaggedPixels(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene& s) {
    tavrix::FillFlaggedPixels(image, kImageWidth, kImageHeight, s.pixelMap.rows());
  });
}

void BM_ApplyGainMap(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene& s) {
    tavrix::ApplyGainMap(image, kImageWidth, kImageHeight, s.gainMap.rows());
  });
}

void BM_CorrectDefectivePixels(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene& s) {
    tavrix::CorrectDefectivePixels(image, kImageWidth, kImageHeight, s.pixelMap.rows());
  });
}

void BM_CorrectLineDefects(benchmark::State& state) {
  RunAgainstCopy(state, [](uint16_t* image, const Scene& s) {
    tavrix::CorrectLineDefects(image, kImageWidth, kImageHeight, s.pixelMap.rows());
  });
}

BENCHMARK(BM_CorrectImage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_FilterImpulseNoise)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
BENCHMARK(BM_FillFlaggedPixels)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_ApplyGainMap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_CorrectDefectivePixels)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_CorrectLineDefects)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace
