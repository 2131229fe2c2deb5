// What the tavrix tool adds to the library's own work when it reprocesses
// stored frames: writing an uncompressed TIFF against a plain fwrite of the
// same image (yardstick), and the whole per-frame work of `tavrix correct`
// (read the frame, read out and correct, write the TIFF) against the readout
// and correction alone. Both pairs alternate in the same iterations; medians
// and ratios are reported as counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "detector/detector.h"
#include "grabber/frame_grabber.h"
#include "image_files.h"
#include "simulated_panel.h"
#include "tavrix_1417_pci_vusk.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;

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

std::string ScratchPath(const char* name) { return std::string("/tmp/tavrix_bench_") + name; }

void WritePlain(const std::string& path, const uint16_t* image) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(image, sizeof(uint16_t), kPixels, file);
  std::fclose(file);
}

void BM_WriteTiffAgainstFwrite(benchmark::State& state) {
  std::vector<uint16_t> image(kPixels);
  for (size_t i = 0; i < kPixels; ++i) image[i] = uint16_t((i * 2654435761u) >> 18);
  const tavrix_tool::TiffTags tags{"tavrix", "2026:01:01 00:00:00", "Tavrix", "1417 PCI", "{}", 0.139, false};
  std::vector<double> tiff, plain;
  for (auto _ : state) {
    plain.push_back(TimedMs([&] { WritePlain(ScratchPath("plain.bin"), image.data()); }));
    tiff.push_back(TimedMs([&] {
      tavrix_tool::WriteTiff16(ScratchPath("image.tif"), image.data(), TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT, tags);
    }));
  }
  state.counters["fwrite_ms"] = Median(plain);
  state.counters["tiff_ms"] = Median(tiff);
  state.counters["tiff_over_fwrite"] = Median(tiff) / Median(plain);
  std::remove(ScratchPath("plain.bin").c_str());
  std::remove(ScratchPath("image.tif").c_str());
}

void BM_CorrectCommandFrameAgainstCoreWork(benchmark::State& state) {
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  pci_frm01_sim::ComposeRawFrame(raw.data(), 0);
  {
    std::FILE* file = std::fopen(ScratchPath("frame.raw").c_str(), "wb");
    std::fwrite(raw.data(), 1, raw.size(), file);
    std::fclose(file);
  }
  auto detector = std::make_unique<tavrix::Detector>();
  const tavrix_tool::TiffTags tags{"tavrix", "2026:01:01 00:00:00", "Tavrix", "1417 PCI", "{}", 0.139, false};
  std::vector<double> whole, core;
  for (auto _ : state) {
    core.push_back(TimedMs([&] { detector->ReprocessRawFrame(raw.data()); }));
    whole.push_back(TimedMs([&] {
      std::FILE* file = std::fopen(ScratchPath("frame.raw").c_str(), "rb");
      benchmark::DoNotOptimize(std::fread(raw.data(), 1, raw.size(), file));
      std::fclose(file);
      const uint16_t* image = detector->ReprocessRawFrame(raw.data());
      tavrix_tool::WriteTiff16(ScratchPath("corrected.tif"), image, TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT, tags);
    }));
  }
  state.counters["frame_ms"] = Median(whole);
  state.counters["readout_and_correction_ms"] = Median(core);
  state.counters["core_share"] = Median(core) / Median(whole);
  std::remove(ScratchPath("frame.raw").c_str());
  std::remove(ScratchPath("corrected.tif").c_str());
}

}  // namespace

BENCHMARK(BM_WriteTiffAgainstFwrite)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CorrectCommandFrameAgainstCoreWork)->Unit(benchmark::kMillisecond)->Iterations(10);
