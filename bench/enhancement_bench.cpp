// The enhancement run and each of its steps on a full-size radiograph-like
// image, each reported as its median and as a multiple of a memcpy of the
// image measured in the same run. Steps with a fast version run their plain
// version first; the fast one then also reports how many times faster it is
// (plain_over_fast), both measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/dimensions.h"
#include "platform/instruction_set.h"
#include "on_path.h"
#include "enhancement/band_processing.h"
#include "enhancement/decomposition.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/reconstruction.h"
#include "enhancement/smoothing.h"
#include "support/enhancement_engine_probe.h"
#include "support/synthetic_radiograph.h"

namespace {

using tavrix::kImageHeight;
using tavrix::kImagePixels;
using tavrix::kImageWidth;
using Clock = std::chrono::steady_clock;

constexpr int32_t kLevels = 5, kStrength = 10, kRadius = 3, kDecay = 10;

struct Fixture {
  tavrix::EnhancementEngine engine;
  const tavrix::EnhancementEngineProbe probe{engine};
  std::vector<uint16_t> picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  std::vector<uint16_t> source = picture;
  std::vector<uint16_t> destination = std::vector<uint16_t>(kImagePixels);

  Fixture() { RunAll(); }

  // A complete run leaves every plane as the steps find it in a real run.
  void RunAll() {
    source = picture;
    engine.Enhance(source.data(), destination.data(), kLevels, kStrength, kRadius, kDecay,
                   kImageWidth, kImageHeight);
  }
};

Fixture& Shared() {
  static Fixture* fixture = new Fixture;
  return *fixture;
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

template <class Work>
double TimeOnce(Work&& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The yardstick: copying the 16-bit image once.
double MemcpyMedianSeconds() {
  static const double median = [] {
    std::vector<uint16_t> from(kImagePixels, 1), to(kImagePixels, 0);
    std::vector<double> samples;
    for (int i = 0; i < 21; ++i)
      samples.push_back(TimeOnce([&] {
        std::memcpy(to.data(), from.data(), kImagePixels * sizeof(uint16_t));
        benchmark::DoNotOptimize(to.data());
      }));
    return Median(samples);
  }();
  return median;
}

// Medians of the plain versions, by step, for the fast versions' ratios.
std::map<std::string, double>& PlainMedians() {
  static std::map<std::string, double> medians;
  return medians;
}

// Runs `work` once per iteration, `prepare` before it untimed, and reports
// the median and its ratio to the memcpy; with a step named, also records it
// as that step's plain median or reports the ratio of the plain one to it.
template <class Prepare, class Work>
void Measure(benchmark::State& state, Prepare&& prepare, Work&& work, const char* step = nullptr,
             bool plain = false) {
  std::vector<double> samples;
  for (auto _ : state) {
    prepare();
    const double seconds = TimeOnce(work);
    state.SetIterationTime(seconds);
    samples.push_back(seconds);
  }
  const double median = Median(samples);
  state.counters["median_ms"] = median * 1e3;
  state.counters["x_memcpy"] = median / MemcpyMedianSeconds();
  if (step == nullptr) return;
  if (plain)
    PlainMedians()[step] = median;
  else if (PlainMedians().count(step))
    state.counters["plain_over_fast"] = PlainMedians()[step] / median;
}

void BM_EnhanceMemcpyImage(benchmark::State& state) {
  std::vector<uint16_t> from(kImagePixels, 1), to(kImagePixels, 0);
  Measure(state, [] {}, [&] {
    std::memcpy(to.data(), from.data(), kImagePixels * sizeof(uint16_t));
    benchmark::DoNotOptimize(to.data());
  });
}

void BM_EnhanceFullRunPlain(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [&] { f.source = f.picture; }, [&] {
    f.engine.EnhancePlain(f.source.data(), f.destination.data(), kLevels, kStrength, kRadius,
                          kDecay, kImageWidth, kImageHeight);
  }, "run", true);
}

void BM_EnhanceFullRun(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [&] { f.source = f.picture; }, [&] {
    f.engine.Enhance(f.source.data(), f.destination.data(), kLevels, kStrength, kRadius, kDecay,
                     kImageWidth, kImageHeight);
  }, "run");
}

// The fast run on one vector path.
void BM_EnhanceFullRunOnPath(benchmark::State& state) {
  Fixture& f = Shared();
  const OnPath path(state);
  if (!path) return;
  Measure(state, [&] { f.source = f.picture; }, [&] {
    f.engine.Enhance(f.source.data(), f.destination.data(), kLevels, kStrength, kRadius, kDecay,
                     kImageWidth, kImageHeight);
  });
}

// The convolution alone (radius 3), from the same kernel as a run's.
template <bool kPlain>
void ConvolveBenchmark(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [&] { f.source = f.picture; }, [&] {
    (kPlain ? tavrix::ConvolveImagePlain : tavrix::ConvolveImage)(
        f.source.data(), f.probe.SmoothingCopy(), f.probe.Kernel(), kRadius, kImageWidth,
        kImageHeight);
  }, "convolve", kPlain);
}
void BM_EnhanceConvolveImagePlain(benchmark::State& state) { ConvolveBenchmark<true>(state); }
void BM_EnhanceConvolveImage(benchmark::State& state) {
  if (const OnPath path{state}) ConvolveBenchmark<false>(state);
}

// Only the clearing of the planes that every run starts with.
void BM_EnhanceEarlyReturnRun(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    f.engine.Enhance(f.source.data(), f.destination.data(), kLevels, 0, kRadius, kDecay,
                     kImageWidth, kImageHeight);
  });
  f.RunAll();
}

void BM_EnhanceSmoothImage(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [&] { f.source = f.picture; }, [&] {
    tavrix::SmoothImage(kRadius, f.probe.SmoothingDecay(), f.probe.Kernel(), f.source.data(),
                        f.probe.SmoothingCopy(), kImageWidth, kImageHeight);
  });
}

void BM_EnhanceLogMapImage(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    tavrix::LogMapImage(f.source.data(), f.destination.data(), kImagePixels,
                        f.probe.LogMapTable());
  });
}

void BM_EnhanceComputeWindow(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    benchmark::DoNotOptimize(tavrix::ComputeWindow(f.destination.data(), kImagePixels,
                                                   f.probe.Histogram(), f.probe.LogImage(),
                                                   f.probe.LogImageTable()));
  });
}

// The log map and the window: the two steps in turn, then in one pass.
template <bool kPlain>
void LogMapAndWindowBenchmark(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    if (kPlain) {
      tavrix::LogMapImage(f.source.data(), f.destination.data(), kImagePixels,
                          f.probe.LogMapTable());
      benchmark::DoNotOptimize(tavrix::ComputeWindow(f.destination.data(), kImagePixels,
                                                     f.probe.Histogram(), f.probe.LogImage(),
                                                     f.probe.LogImageTable()));
    } else {
      benchmark::DoNotOptimize(tavrix::LogMapAndComputeWindow(
          f.source.data(), f.destination.data(), kImagePixels, f.probe.LogMapTable(),
          f.probe.Histogram(), f.probe.LogImage(), f.probe.LogImageTable(), f.probe.ValueCounts()));
    }
  }, "log map and window", kPlain);
}
void BM_EnhanceLogMapThenWindow(benchmark::State& state) { LogMapAndWindowBenchmark<true>(state); }
void BM_EnhanceLogMapAndWindow(benchmark::State& state) { LogMapAndWindowBenchmark<false>(state); }

template <bool kPlain>
void DecompositionBenchmark(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    f.probe.DecomposeLevels(kPlain ? tavrix::DecomposeLevelPlain : tavrix::DecomposeLevel, kLevels);
  }, "decomposition", kPlain);
}
void BM_EnhanceDecompositionPlain(benchmark::State& state) { DecompositionBenchmark<true>(state); }
void BM_EnhanceDecomposition(benchmark::State& state) {
  if (const OnPath path{state}) DecompositionBenchmark<false>(state);
}

void BM_EnhanceDecomposeFirstLevel(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] {
    tavrix::DecomposeLevel(kImageWidth, kImageHeight, f.probe.Filter(), f.probe.LogImage(),
                           f.probe.Coefficients(), kImageWidth);
  });
  f.RunAll();
}

void BM_EnhanceBandProcessing(benchmark::State& state) {
  Fixture& f = Shared();
  Measure(state, [] {}, [&] { f.probe.ProcessBand(); });
}

template <bool kPlain>
void ReconstructBenchmark(benchmark::State& state) {
  Fixture& f = Shared();
  const tavrix::FinalOutput output{f.probe.LogImage(), f.destination.data(), kStrength};
  Measure(state, [&] { f.probe.ProcessBand(); }, [&] {
    tavrix::Reconstruct(f.probe.WorkPlaneB(), f.probe.WorkPlaneA(), output, kImageWidth,
                        f.probe.BandWidth(), f.probe.BandHeight(), kLevels,
                        kPlain ? tavrix::UpsampleLevelPlain : tavrix::UpsampleLevel);
  }, "reconstruct", kPlain);
}
void BM_EnhanceReconstructPlain(benchmark::State& state) { ReconstructBenchmark<true>(state); }
void BM_EnhanceReconstruct(benchmark::State& state) {
  if (const OnPath path{state}) ReconstructBenchmark<false>(state);
}

#define ENHANCEMENT_BENCHMARK(name, iterations) \
  BENCHMARK(name)->UseManualTime()->Iterations(iterations)->Unit(benchmark::kMillisecond)

ENHANCEMENT_BENCHMARK(BM_EnhanceMemcpyImage, 21);
ENHANCEMENT_BENCHMARK(BM_EnhanceFullRunPlain, 5);
ENHANCEMENT_BENCHMARK(BM_EnhanceFullRun, 7);
ENHANCEMENT_BENCHMARK(BM_EnhanceFullRunOnPath, 7)->DenseRange(0, 2);
ENHANCEMENT_BENCHMARK(BM_EnhanceConvolveImagePlain, 5);
ENHANCEMENT_BENCHMARK(BM_EnhanceConvolveImage, 7)->DenseRange(0, 2);
ENHANCEMENT_BENCHMARK(BM_EnhanceEarlyReturnRun, 7);
ENHANCEMENT_BENCHMARK(BM_EnhanceSmoothImage, 5);
ENHANCEMENT_BENCHMARK(BM_EnhanceLogMapImage, 11);
ENHANCEMENT_BENCHMARK(BM_EnhanceComputeWindow, 11);
ENHANCEMENT_BENCHMARK(BM_EnhanceLogMapThenWindow, 11);
ENHANCEMENT_BENCHMARK(BM_EnhanceLogMapAndWindow, 11);
ENHANCEMENT_BENCHMARK(BM_EnhanceDecompositionPlain, 5);
ENHANCEMENT_BENCHMARK(BM_EnhanceDecomposition, 7)->DenseRange(0, 2);
ENHANCEMENT_BENCHMARK(BM_EnhanceDecomposeFirstLevel, 7);
ENHANCEMENT_BENCHMARK(BM_EnhanceBandProcessing, 21);
ENHANCEMENT_BENCHMARK(BM_EnhanceReconstructPlain, 5);
ENHANCEMENT_BENCHMARK(BM_EnhanceReconstruct, 7)->DenseRange(0, 2);

}  // namespace
