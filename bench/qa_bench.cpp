// The physicist's measurements on their usual input (one edge frame; 8
// flats; 5 flats of the response; the 4 frames of the lag sequence; 8 darks),
// each against one plain pass summing the same frames' pixels (yardstick),
// alternating in the same iterations; medians as counters. Each measurement
// must stay under 10 s on one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "dark.h"
#include "imaging_physics.h"
#include "lag.h"
#include "noise_power.h"
#include "response.h"
#include "slanted_edge.h"

namespace {

namespace sim = pci_frm01_sim;
using Clock = std::chrono::steady_clock;
constexpr uint32_t kSeed = 7;

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

template <class Step>
double TimedMs(Step step) {
  const Clock::time_point start = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<const uint16_t*> Views(const std::vector<std::vector<uint16_t>>& images) {
  std::vector<const uint16_t*> views;
  for (const auto& image : images) views.push_back(image.data());
  return views;
}

void Measure(benchmark::State& state, const std::vector<const uint16_t*>& frames, const std::function<void()>& measurement) {
  std::vector<double> plain, measured;
  for (auto _ : state) {
    plain.push_back(TimedMs([&] {
      uint64_t sum = 0;
      for (const uint16_t* frame : frames)
        for (size_t i = 0; i < size_t(tavrix_qa::kWidth) * tavrix_qa::kHeight; ++i) sum += frame[i];
      benchmark::DoNotOptimize(sum);
    }));
    measured.push_back(TimedMs(measurement));
  }
  state.counters["measurement_ms"] = Median(measured);
  state.counters["pixel_pass_ms"] = Median(plain);
  state.counters["over_pixel_pass"] = Median(measured) / Median(plain);
}

void BM_QaMtfOfOneEdge(benchmark::State& state) {
  const std::vector<uint16_t> edge = sim::RenderEdge(sim::ImagingModel{}, sim::EdgeScene{}, kSeed);
  Measure(state, {edge.data()}, [&] { benchmark::DoNotOptimize(tavrix_qa::MeasurePresampledMtf(edge.data())); });
}

void BM_QaNnpsOfEightFlats(benchmark::State& state) {
  std::vector<std::vector<uint16_t>> flats;
  for (uint32_t k = 0; k < 8; ++k) flats.push_back(sim::RenderFlat(sim::ImagingModel{}, kSeed, k, 2.5));
  const auto views = Views(flats);
  Measure(state, views, [&] { benchmark::DoNotOptimize(tavrix_qa::MeasureNoisePower(views)); });
}

void BM_QaResponseOfFiveFlats(benchmark::State& state) {
  std::vector<std::vector<uint16_t>> flats;
  std::vector<tavrix_qa::KermaFlat> kermaFlats;
  for (uint32_t k = 0; k < 5; ++k) flats.push_back(sim::RenderFlat(sim::ImagingModel{}, kSeed, k, 1.0 + k));
  for (uint32_t k = 0; k < 5; ++k) kermaFlats.push_back({1.0 + k, flats[k].data()});
  Measure(state, Views(flats), [&] { benchmark::DoNotOptimize(tavrix_qa::MeasureResponse(kermaFlats)); });
}

void BM_QaLagOfTheSequence(benchmark::State& state) {
  const auto sequence = sim::RenderLagSequence(sim::ImagingModel{}, kSeed, 5.0);
  const auto views = Views(sequence);
  Measure(state, views, [&] { benchmark::DoNotOptimize(tavrix_qa::MeasureLag(views)); });
}

void BM_QaDarkOfEightFrames(benchmark::State& state) {
  std::vector<std::vector<uint16_t>> darks;
  for (uint32_t k = 0; k < 8; ++k) darks.push_back(sim::RenderDark(sim::ImagingModel{}, kSeed, k));
  const auto views = Views(darks);
  Measure(state, views, [&] { benchmark::DoNotOptimize(tavrix_qa::MeasureDark(views)); });
}

}  // namespace

BENCHMARK(BM_QaMtfOfOneEdge)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QaNnpsOfEightFlats)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QaResponseOfFiveFlats)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QaLagOfTheSequence)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QaDarkOfEightFrames)->Unit(benchmark::kMillisecond)->Iterations(5);
