// The station's costs through the 14 exports, per vector path, without Google
// Benchmark so that the same program builds for the 32-bit Windows target and
// runs under Wine: creation, the first and the steady exposure (arm and
// acquire, the grabber's waits not slept), the first and the steady
// enhancement 5/10/3/10; then each step of the exposure and of the enhancement
// alone, so that a gap between the builds can be put down to a step. It links
// the objects the shared library and the DLL are made of, so a path can be
// chosen; scripts/bench-dll.sh runs both builds side by side and prints their
// ratios.
//
// usage: exports_timing [REPEATS]    prints one line per path the processor has
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/read_frame.h"
#include "correction/border_mask.h"
#include "correction/defective_pixels.h"
#include "correction/flagged_pixel_fill.h"
#include "correction/gain_correction.h"
#include "correction/impulse_noise.h"
#include "correction/line_defects.h"
#include "detector/detector.h"
#include "enhancement/decomposition.h"
#include "enhancement/display_window.h"
#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "enhancement/reconstruction.h"
#include "enhancement/smoothing.h"
#include "exposure_frame.h"
#include "grabber/frame_grabber.h"
#include "pci_frm01_sim.h"
#include "platform/instruction_set.h"
#include "platform/wait.h"
#include "support/detector_probe.h"
#include "support/enhancement_engine_probe.h"
#include "tavrix_1417_pci_vusk.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;
constexpr const char* kPathNames[] = {"baseline", "avx2", "avx512"};

void NoSleep(int32_t) {}
int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

template <typename Call>
double TimedMilliseconds(Call call) {
  const Clock::time_point start = Clock::now();
  call();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The exposure the station waits for: arm and acquire, with the grabber's
// transfer of the frame. The frame is queued in the simulated grabber before
// the clock starts: queuing allocates and copies it, work no card does.
double TimedExposure(const std::vector<uint8_t>& raw, bool& ok) {
  PCI_FRM01_SimInjectFrame(raw.data(), int32_t(raw.size()));
  return TimedMilliseconds([&] {
    ok = RunforDetector(TAVRIX_RUN_ARM) == 1 && RunforDetector(TAVRIX_RUN_ACQUIRE) == 1 && ok;
  });
}

struct PathTimes {
  double creation = 0, firstExposure = 0, steadyExposure = 0, firstEnhancement = 0, steadyEnhancement = 0;
};

bool TimePath(const std::vector<uint8_t>& raw, int repeats, PathTimes& times) {
  std::vector<uint16_t> source(kPixels), destination(kPixels);
  int32_t created = 0;
  times.creation = TimedMilliseconds([&] { created = Sys_Allocation_1417(); });
  if (created != 1) return false;
  bool ok = true;
  auto enhance = [&] {
    std::memcpy(source.data(), SaveRawImage(), kPixels * sizeof(uint16_t));
    return TimedMilliseconds([&] { Enhancement(source.data(), destination.data(), 5, 10, 3, 10); });
  };
  times.firstExposure = TimedExposure(raw, ok);
  times.firstEnhancement = enhance();
  std::vector<double> exposures, enhancements;
  for (int i = 0; i < repeats; ++i) {
    exposures.push_back(TimedExposure(raw, ok));
    enhancements.push_back(enhance());
  }
  times.steadyExposure = Median(exposures);
  times.steadyEnhancement = Median(enhancements);
  Sys_Free();
  return ok;
}

// Each step of one exposure and one enhancement, in the order a run takes
// them and on the planes a run leaves, timed alone; medians in milliseconds.
class StepTimes {
 public:
  void Add(const char* step, double ms) { samples_[step].push_back(ms); }
  void Print(const char* path) const {
    std::printf("path=%s", path);
    for (const auto& [step, ms] : samples_) std::printf(" step_%s_ms=%.2f", step.c_str(), Median(ms));
    std::printf("\n");
  }

 private:
  std::map<std::string, std::vector<double>> samples_;
};

void TimeExposureSteps(tavrix::Detector& detector, const std::vector<uint8_t>& raw, StepTimes& steps) {
  const tavrix::DetectorProbe probe(detector);
  uint16_t* image = detector.Image();
  const int32_t w = probe.Width(), h = probe.Height();
  const uint8_t* const* pixelMap = probe.PixelMap(0);
  const float* const* gainMap = probe.GainMap(0);
  PCI_FRM01_SimInjectFrame(raw.data(), int32_t(raw.size()));
  steps.Add("fetch", TimedMilliseconds([&] { tavrix::FetchRawFrame(probe.RawFrame()); }));
  steps.Add("unscramble", TimedMilliseconds([&] { tavrix::UnscrambleFrame(probe.RawFrame(), image, w, h); }));
  steps.Add("impulse_noise", TimedMilliseconds([&] { tavrix::FilterImpulseNoise(image, w, h); }));
  steps.Add("flagged_fill", TimedMilliseconds([&] { tavrix::FillFlaggedPixels(image, w, h, pixelMap); }));
  steps.Add("gain", TimedMilliseconds([&] { tavrix::ApplyGainMap(image, w, h, gainMap); }));
  steps.Add("defective", TimedMilliseconds([&] { tavrix::CorrectDefectivePixels(image, w, h, pixelMap); }));
  steps.Add("lines", TimedMilliseconds([&] { tavrix::CorrectLineDefects(image, w, h, pixelMap); }));
  steps.Add("impulse_noise_2", TimedMilliseconds([&] { tavrix::FilterImpulseNoise(image, w, h); }));
  steps.Add("border", TimedMilliseconds([&] { tavrix::MaskBorder(image, w, h); }));
}

void TimeEnhancementSteps(tavrix::EnhancementEngine& engine, const uint16_t* picture,
                          uint16_t* source, uint16_t* destination, StepTimes& steps) {
  constexpr int32_t kLevels = 5, kStrength = 10, kRadius = 3, kDecay = 10;
  constexpr int32_t w = TAVRIX_IMAGE_WIDTH, h = TAVRIX_IMAGE_HEIGHT;
  const tavrix::EnhancementEngineProbe probe(engine);
  std::memcpy(source, picture, kPixels * sizeof(uint16_t));
  engine.Enhance(source, destination, kLevels, kStrength, kRadius, kDecay, w, h);
  std::memcpy(source, picture, kPixels * sizeof(uint16_t));
  steps.Add("smoothing", TimedMilliseconds([&] {
    tavrix::SmoothImage(kRadius, probe.SmoothingDecay(), probe.Kernel(), source, probe.SmoothingCopy(), w, h);
  }));
  steps.Add("log_map_window", TimedMilliseconds([&] {
    tavrix::LogMapAndComputeWindow(source, destination, kPixels, probe.LogMapTable(), probe.Histogram(),
                                   probe.LogImage(), probe.LogImageTable(), probe.ValueCounts());
  }));
  steps.Add("decomposition", TimedMilliseconds([&] { probe.DecomposeLevels(tavrix::DecomposeLevel, kLevels); }));
  steps.Add("band", TimedMilliseconds([&] { probe.ProcessBand(); }));
  const tavrix::FinalOutput output{probe.LogImage(), destination, kStrength};
  steps.Add("reconstruction", TimedMilliseconds([&] {
    tavrix::Reconstruct(probe.WorkPlaneB(), probe.WorkPlaneA(), output, w, probe.BandWidth(), probe.BandHeight(),
                        kLevels, tavrix::UpsampleLevel);
  }));
}

bool TimeSteps(const std::vector<uint8_t>& raw, int repeats, StepTimes& steps) {
  auto detector = std::make_unique<tavrix::Detector>();
  auto engine = std::make_unique<tavrix::EnhancementEngine>();
  if (!detector->IsComplete() || !engine->IsComplete()) return false;
  std::vector<uint16_t> picture(kPixels), source(kPixels), destination(kPixels);
  StepTimes warmUp;
  for (int i = 0; i <= repeats; ++i) {
    StepTimes& into = i == 0 ? warmUp : steps;
    TimeExposureSteps(*detector, raw, into);
    std::memcpy(picture.data(), detector->Image(), kPixels * sizeof(uint16_t));
    TimeEnhancementSteps(*engine, picture.data(), source.data(), destination.data(), into);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  PCI_FRM01_SimReset();
  tavrix::ReplaceWaitFunctions({NoSleep, SteadyMilliseconds});
  const std::vector<uint8_t> raw = ExposureRawFrame();
  const int widest = int(tavrix::SupportedInstructionSet());
  for (int path = 0; path <= widest; ++path) {
    tavrix::LimitInstructionSet(tavrix::InstructionSet(path));
    PathTimes t;
    if (!TimePath(raw, repeats, t)) {
      std::fprintf(stderr, "exports_timing: an exposure failed on the %s path\n", kPathNames[path]);
      return 1;
    }
    std::printf("path=%s creation_ms=%.1f first_exposure_ms=%.2f steady_exposure_ms=%.2f "
                "first_enhancement_ms=%.2f steady_enhancement_ms=%.2f\n",
                kPathNames[path], t.creation, t.firstExposure, t.steadyExposure, t.firstEnhancement,
                t.steadyEnhancement);
    StepTimes steps;
    if (!TimeSteps(raw, repeats, steps)) {
      std::fprintf(stderr, "exports_timing: no room for the steps' detector on the %s path\n", kPathNames[path]);
      return 1;
    }
    steps.Print(kPathNames[path]);
    std::fflush(stdout);
  }
  return 0;
}
