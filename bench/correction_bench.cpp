// Cost of the correction of one full-size frame, as a whole and step by
// step, on a plausible exposure with realistic maps (a few thousand defective
// pixels, a few flagged half-rows and columns). Each iteration runs the plain
// and the fast version of the same step on the same frame, each after
// restoring the frame with a memcpy of the image: the plain version and the
// copy, timed in the same iterations, are the yardsticks. The argument limits
// the vector path (0 baseline, 1 AVX2, 2 AVX-512; capped at what the
// processor has).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correction/border_mask.h"
#include "correction/correct_image.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/impulse_noise.h"
#include "correction/line_defects.h"
#include "platform/dimensions.h"
#include "platform/instruction_set.h"
#include "on_path.h"
#include "support/correction_images.h"
#include "support/instruction_sets.h"

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

// Runs plain and fast alternately on fresh copies of the frame.
template <class Fast, class Plain>
void RunFastAgainstPlain(benchmark::State& state, Fast fast, Plain plain) {
  const Scene& scene = TheScene();
  const OnPath path(state);
  if (!path) return;
  state.SetLabel(tavrix_test::InstructionSetName(path.path()));
  std::vector<uint16_t> image(tavrix::kImagePixels);
  std::vector<double> fastTimes, plainTimes, copyTimes;
  auto timed = [&](auto step) {
    std::memcpy(image.data(), scene.frame.pixels().data(), image.size() * sizeof(uint16_t));
    benchmark::ClobberMemory();
    const Clock::time_point start = Clock::now();
    step(image.data(), scene);
    benchmark::ClobberMemory();
    return Milliseconds(start, Clock::now());
  };
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::memcpy(image.data(), scene.frame.pixels().data(), image.size() * sizeof(uint16_t));
    benchmark::ClobberMemory();
    copyTimes.push_back(Milliseconds(start, Clock::now()));
    plainTimes.push_back(timed(plain));
    fastTimes.push_back(timed(fast));
    state.SetIterationTime(fastTimes.back() / 1000.0);
  }
  state.counters["fast_ms"] = Median(fastTimes);
  state.counters["plain_ms"] = Median(plainTimes);
  state.counters["speedup"] = Median(plainTimes) / Median(fastTimes);
  state.counters["memcpy_ms"] = Median(copyTimes);
  state.counters["fast_per_memcpy"] = Median(fastTimes) / Median(copyTimes);
}

void BM_CorrectImage(benchmark::State& state) {
  RunFastAgainstPlain(
      state,
      [](uint16_t* image, const Scene& s) {
        tavrix::CorrectImage(image, kImageWidth, kImageHeight, s.pixelMap.rows(), s.gainMap.rows());
      },
      [](uint16_t* image, const Scene& s) {
        tavrix::CorrectImagePlain(image, kImageWidth, kImageHeight, s.pixelMap.rows(), s.gainMap.rows());
      });
}

void BM_FilterImpulseNoise(benchmark::State& state) {
  RunFastAgainstPlain(
      state, [](uint16_t* image, const Scene&) { tavrix::FilterImpulseNoise(image, kImageWidth, kImageHeight); },
      [](uint16_t* image, const Scene&) { tavrix::FilterImpulseNoisePlain(image, kImageWidth, kImageHeight); });
}

void BM_FillFlaggedPixels(benchmark::State& state) {
  RunFastAgainstPlain(
      state,
      [](uint16_t* image, const Scene& s) {
        tavrix::FillFlaggedPixels(image, kImageWidth, kImageHeight, s.pixelMap.rows());
      },
      [](uint16_t* image, const Scene& s) {
        tavrix::FillFlaggedPixelsPlain(image, kImageWidth, kImageHeight, s.pixelMap.rows());
      });
}

void BM_ApplyGainMap(benchmark::State& state) {
  RunFastAgainstPlain(
      state,
      [](uint16_t* image, const Scene& s) { tavrix::ApplyGainMap(image, kImageWidth, kImageHeight, s.gainMap.rows()); },
      [](uint16_t* image, const Scene& s) {
        tavrix::ApplyGainMapPlain(image, kImageWidth, kImageHeight, s.gainMap.rows());
      });
}

void BM_CorrectDefectivePixels(benchmark::State& state) {
  RunFastAgainstPlain(
      state,
      [](uint16_t* image, const Scene& s) {
        tavrix::CorrectDefectivePixels(image, kImageWidth, kImageHeight, s.pixelMap.rows());
      },
      [](uint16_t* image, const Scene& s) {
        tavrix::CorrectDefectivePixelsPlain(image, kImageWidth, kImageHeight, s.pixelMap.rows());
      });
}

// Not made fast: a few repairs of a few thousand windows each. Both columns
// run the same code.
void BM_CorrectLineDefects(benchmark::State& state) {
  auto step = [](uint16_t* image, const Scene& s) {
    tavrix::CorrectLineDefects(image, kImageWidth, kImageHeight, s.pixelMap.rows());
  };
  RunFastAgainstPlain(state, step, step);
}

void BM_MaskBorder(benchmark::State& state) {
  auto step = [](uint16_t* image, const Scene&) { tavrix::MaskBorder(image, kImageWidth, kImageHeight); };
  RunFastAgainstPlain(state, step, step);
}

void AllPaths(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Arg(2);
}
void WidestPath(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(2);
}

BENCHMARK(BM_CorrectImage)->Apply(AllPaths)->Iterations(7);
BENCHMARK(BM_FilterImpulseNoise)->Apply(AllPaths)->Iterations(9);
BENCHMARK(BM_FillFlaggedPixels)->Apply(WidestPath)->Iterations(15);
BENCHMARK(BM_ApplyGainMap)->Apply(AllPaths)->Iterations(15);
BENCHMARK(BM_CorrectDefectivePixels)->Apply(WidestPath)->Iterations(15);
BENCHMARK(BM_CorrectLineDefects)->Apply(WidestPath)->Iterations(15);
BENCHMARK(BM_MaskBorder)->Apply(WidestPath)->Iterations(15);

}  // namespace
