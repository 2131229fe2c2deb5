// Cost of an acquisition: the readout of one raw frame (unscrambling alone,
// and with the fetch from the simulated grabber), and one whole acquisition
// through the exports split into readout and correction. Each is set against
// a memcpy of the raw frame timed in the same iterations.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "acquisition/raw_frame_layout.h"
#include "acquisition/read_frame.h"
#include "detector/detector.h"
#include "platform/instruction_set.h"
#include "support/detector_probe.h"
#include "exposure_frame.h"
#include "on_path.h"
#include "platform/wait.h"
#include "grabber/frame_grabber.h"
#include "pci_frm01_sim.h"
#include "tavrix_1417_pci_vusk.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

const std::vector<uint8_t>& Exposure() {
  static const std::vector<uint8_t> raw = ExposureRawFrame();
  return raw;
}

// The yardstick: one plain copy of the raw frame's bytes.
class RawFrameCopy {
 public:
  RawFrameCopy() : target_(size_t(tavrix::kRawFrameBytes), 1) {}
  double TimeMilliseconds(const uint8_t* source) {
    const Clock::time_point start = Clock::now();
    std::memcpy(target_.data(), source, target_.size());
    benchmark::ClobberMemory();
    return Milliseconds(start, Clock::now());
  }

 private:
  std::vector<uint8_t> target_;
};

void ReportAgainstCopy(benchmark::State& state, const std::vector<double>& step,
                       const std::vector<double>& copy) {
  state.counters["median_ms"] = Median(step);
  state.counters["memcpy_median_ms"] = Median(copy);
  state.counters["ratio_to_memcpy"] = Median(step) / Median(copy);
}

void NoSleep(int32_t) {}
int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// The argument is the vector path (0 baseline, 1 AVX2, 2 AVX-512).
void BM_UnscrambleFrame(benchmark::State& state) {
  const OnPath path(state);
  if (!path) return;
  PCI_FRM01_SimReset();
  auto detector = std::make_unique<tavrix::Detector>();
  const tavrix::DetectorProbe probe(*detector);
  std::memcpy(probe.RawFrame(), Exposure().data(), Exposure().size());
  RawFrameCopy copy;
  // The plain version writes an image of its own, so that it leaves the fast
  // one's image lines as the previous readout left them.
  std::vector<uint16_t> plainImage(size_t(probe.Width()) * size_t(probe.Height()));
  std::vector<double> step, plain, yardstick;
  for (auto _ : state) {
    yardstick.push_back(copy.TimeMilliseconds(probe.RawFrame()));
    Clock::time_point start = Clock::now();
    tavrix::UnscrambleFramePlain(probe.RawFrame(), plainImage.data(), probe.Width(), probe.Height());
    benchmark::ClobberMemory();
    plain.push_back(Milliseconds(start, Clock::now()));
    start = Clock::now();
    tavrix::UnscrambleFrame(probe.RawFrame(), detector->Image(), probe.Width(), probe.Height());
    benchmark::ClobberMemory();
    const double elapsed = Milliseconds(start, Clock::now());
    step.push_back(elapsed);
    state.SetIterationTime(elapsed / 1000.0);
  }
  ReportAgainstCopy(state, step, yardstick);
  state.counters["plain_median_ms"] = Median(plain);
  state.counters["plain_ratio_to_memcpy"] = Median(plain) / Median(yardstick);
}
BENCHMARK(BM_UnscrambleFrame)->DenseRange(0, 2)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

// Times `readout` on a detector, after injecting the exposure into the
// simulated grabber, against a copy of the raw frame in the same iterations.
template <class Readout>
void TimeReadoutAgainstCopy(benchmark::State& state, Readout readout) {
  PCI_FRM01_SimReset();
  auto detector = std::make_unique<tavrix::Detector>();
  RawFrameCopy copy;
  std::vector<double> step, yardstick;
  for (auto _ : state) {
    PCI_FRM01_SimInjectFrame(Exposure().data(), int32_t(Exposure().size()));
    yardstick.push_back(copy.TimeMilliseconds(Exposure().data()));
    const Clock::time_point start = Clock::now();
    readout(*detector);
    benchmark::ClobberMemory();
    const double elapsed = Milliseconds(start, Clock::now());
    step.push_back(elapsed);
    state.SetIterationTime(elapsed / 1000.0);
  }
  ReportAgainstCopy(state, step, yardstick);
}

// The fetch includes the simulated grabber's own work: it copies the injected
// frame into the raw-frame buffer, one copy's worth that a real card does by
// DMA. The unscrambling therefore has about one copy's time left.
void BM_ReadFrame(benchmark::State& state) {
  TimeReadoutAgainstCopy(state, [](tavrix::Detector& detector) { detector.ReadFrame(detector.Image()); });
}
BENCHMARK(BM_ReadFrame)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// The least a readout after this grabber could cost: the same fetch, then the
// words the readout reads copied straight into the image, run by run, with no
// rearranging at all.
void BM_ReadFrameFloor(benchmark::State& state) {
  TimeReadoutAgainstCopy(state, [](tavrix::Detector& detector) {
    const int32_t runStarts[] = {tavrix::kRunAStart, tavrix::kRunBStart, tavrix::kRunCStart, tavrix::kRunDStart};
    const size_t runBytes = size_t(tavrix::kRunLength) * 2;
    const tavrix::DetectorProbe probe(detector);
    tavrix::FetchRawFrame(probe.RawFrame());
    uint8_t* to = reinterpret_cast<uint8_t*>(detector.Image());
    for (int32_t c = 0; c < tavrix::kReadoutColumns; ++c) {
      const uint8_t* line = probe.RawFrame() + size_t(tavrix::kFirstImageRawLine + c) * tavrix::kRawLineWords * 2;
      for (int32_t run : runStarts) {
        std::memcpy(to, line + size_t(run) * 2, runBytes);
        to += runBytes;
      }
    }
  });
}
BENCHMARK(BM_ReadFrameFloor)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// RunforDetector(1) and (2) through the exports with neutral maps; the same
// frame's readout and correction are timed apart on a second detector in the
// same iterations. The grabber's waits do not sleep here: what is measured is
// the library's work, not the exposure.
void BM_Acquisition(benchmark::State& state) {
  PCI_FRM01_SimReset();
  const tavrix::WaitFunctions previous = tavrix::ReplaceWaitFunctions({NoSleep, SteadyMilliseconds});
  while (Sys_Free() == 1) {
  }
  if (Sys_Allocation_1417() != 1) {
    state.SkipWithError("no detector");
    tavrix::ReplaceWaitFunctions(previous);
    return;
  }
  auto split = std::make_unique<tavrix::Detector>();
  RawFrameCopy copy;
  std::vector<double> whole, readout, correction, yardstick;
  for (auto _ : state) {
    yardstick.push_back(copy.TimeMilliseconds(Exposure().data()));

    PCI_FRM01_SimInjectFrame(Exposure().data(), int32_t(Exposure().size()));
    Clock::time_point start = Clock::now();
    const int32_t armed = RunforDetector(TAVRIX_RUN_ARM);
    const int32_t acquired = RunforDetector(TAVRIX_RUN_ACQUIRE);
    benchmark::ClobberMemory();
    const double elapsed = Milliseconds(start, Clock::now());
    if (armed != 1 || acquired != 1) {
      state.SkipWithError("acquisition refused");
      break;
    }
    whole.push_back(elapsed);
    state.SetIterationTime(elapsed / 1000.0);

    PCI_FRM01_SimInjectFrame(Exposure().data(), int32_t(Exposure().size()));
    start = Clock::now();
    split->ReadFrame(split->Image());
    benchmark::ClobberMemory();
    const Clock::time_point read = Clock::now();
    split->CorrectImage();
    benchmark::ClobberMemory();
    readout.push_back(Milliseconds(start, read));
    correction.push_back(Milliseconds(read, Clock::now()));
  }
  ReportAgainstCopy(state, whole, yardstick);
  state.counters["readout_median_ms"] = Median(readout);
  state.counters["correction_median_ms"] = Median(correction);
  state.counters["readout_ratio_to_memcpy"] = Median(readout) / Median(yardstick);
  state.counters["correction_ratio_to_memcpy"] = Median(correction) / Median(yardstick);
  split.reset();
  Sys_Free();
  tavrix::ReplaceWaitFunctions(previous);
}
BENCHMARK(BM_Acquisition)->UseManualTime()->Iterations(11)->Unit(benchmark::kMillisecond);

}  // namespace

// The first acquisition and enhancement after creation against the second
// ones, a fresh detector each iteration, as a station meets them at start-up.
void BM_FirstCallsAfterCreation(benchmark::State& state) {
  PCI_FRM01_SimReset();
  const tavrix::WaitFunctions previous = tavrix::ReplaceWaitFunctions({NoSleep, SteadyMilliseconds});
  while (Sys_Free() == 1) {
  }
  const size_t pixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;
  std::vector<uint16_t> source(pixels), destination(pixels);
  std::vector<double> creation, acquisitions[2], enhancements[2];
  auto timed = [](auto call) {
    const Clock::time_point start = Clock::now();
    call();
    benchmark::ClobberMemory();
    return Milliseconds(start, Clock::now());
  };
  for (auto _ : state) {
    creation.push_back(timed([] { Sys_Allocation_1417(); }));
    for (int call = 0; call < 2; ++call) {
      PCI_FRM01_SimInjectFrame(Exposure().data(), int32_t(Exposure().size()));
      acquisitions[call].push_back(timed([] {
        RunforDetector(TAVRIX_RUN_ARM);
        RunforDetector(TAVRIX_RUN_ACQUIRE);
      }));
      std::memcpy(source.data(), SaveRawImage(), pixels * sizeof(uint16_t));
      enhancements[call].push_back(
          timed([&] { Enhancement(source.data(), destination.data(), 5, 10, 3, 10); }));
    }
    Sys_Free();
    state.SetIterationTime(creation.back() / 1000.0);
  }
  state.counters["creation_ms"] = Median(creation);
  state.counters["first_acquisition_ms"] = Median(acquisitions[0]);
  state.counters["steady_acquisition_ms"] = Median(acquisitions[1]);
  state.counters["first_enhancement_ms"] = Median(enhancements[0]);
  state.counters["steady_enhancement_ms"] = Median(enhancements[1]);
  state.counters["acquisition_first_over_steady"] = Median(acquisitions[0]) / Median(acquisitions[1]);
  state.counters["enhancement_first_over_steady"] = Median(enhancements[0]) / Median(enhancements[1]);
  tavrix::ReplaceWaitFunctions(previous);
}
BENCHMARK(BM_FirstCallsAfterCreation)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
