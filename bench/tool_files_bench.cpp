// What the tavrix tool adds to the library's own work when it reprocesses
// stored frames: writing an uncompressed TIFF against a plain fwrite of the
// same image (yardstick), and the whole `tavrix correct` of 10 stored frames
// against the readout and correction of those frames alone. Both pairs
// alternate in the same iterations; medians and ratios are reported as
// counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "files/image_files.h"
#include "interface/tavrix_internal.h"
#include "simulated_panel.h"
#include "tavrix_1417_pci_vusk.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPixels = tavrix::kImagePixels;

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

template <class T>
void WriteFile(const std::string& path, const T* data, size_t count) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(data, sizeof(T), count, file);
  std::fclose(file);
}

// The whole command on 10 stored frames, as a station runs it (files read,
// images written as TIFF), against the readout and correction of the same
// frames alone.
void BM_CorrectCommandAgainstCoreWork(benchmark::State& state) {
  constexpr int kFrames = 10;
  const size_t frameBytes = size_t(tavrix::kRawFrameBytes);
  std::vector<uint8_t> raws(frameBytes * kFrames);
  for (int k = 0; k < kFrames; ++k) pci_frm01_sim::ComposeRawFrame(raws.data() + frameBytes * k, k);
  WriteFile(ScratchPath("frames.raw"), raws.data(), raws.size());
  tavrix::internal::PanelMaps maps;
  std::fill(maps.PixelMap(), maps.PixelMap() + tavrix::kPixelMapBytes, uint8_t(0));
  std::fill(maps.GainMap(), maps.GainMap() + kPixels, 1.0f);
  WriteFile(ScratchPath("pixel.map"), maps.PixelMap(), tavrix::kPixelMapBytes);
  WriteFile(ScratchPath("gain.map"), maps.GainMap(), kPixels);
  std::vector<uint8_t> frame(frameBytes);
  std::vector<uint16_t> image(kPixels);
  const std::vector<std::string> words = {"--pixel-map", ScratchPath("pixel.map"), "--gain-map", ScratchPath("gain.map"),
                                          "-o", ScratchPath("corrected"), ScratchPath("frames.raw")};
  // A station writes new files: the last iteration's go before the next.
  auto removeOutputs = [] {
    for (int k = 1; k <= kFrames; ++k) {
      char name[64];
      std::snprintf(name, sizeof name, "corrected_%04d.tif", k);
      std::remove(ScratchPath(name).c_str());
    }
  };
  std::vector<double> whole, core;
  for (auto _ : state) {
    double sum = 0.0;
    for (int k = 0; k < kFrames; ++k) {
      std::memcpy(frame.data(), raws.data() + frameBytes * k, frameBytes);
      sum += TimedMs([&] {
        tavrix::internal::ReadOut(frame.data(), image.data());
        tavrix::internal::Correct(image.data(), maps);
      });
    }
    core.push_back(sum);
    removeOutputs();
    whole.push_back(TimedMs([&] { benchmark::DoNotOptimize(tavrix_tool::kCorrectCommand.run(words)); }));
  }
  state.counters["command_ms"] = Median(whole);
  state.counters["readout_and_correction_ms"] = Median(core);
  state.counters["core_share"] = Median(core) / Median(whole);
  std::remove(ScratchPath("frames.raw").c_str());
  std::remove(ScratchPath("pixel.map").c_str());
  std::remove(ScratchPath("gain.map").c_str());
  removeOutputs();
}

}  // namespace

BENCHMARK(BM_WriteTiffAgainstFwrite)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CorrectCommandAgainstCoreWork)->Unit(benchmark::kMillisecond)->Iterations(5);
