// The station's costs through the 14 exports, per vector path, without Google
// Benchmark so that the same program builds for the 32-bit Windows target and
// runs under Wine: creation, the first and the steady exposure (arm and
// acquire, the grabber's waits not slept), the first and the steady
// enhancement 5/10/3/10. It links the objects the shared library and the DLL
// are made of, so a path can be chosen; scripts/bench-dll.sh runs both builds
// side by side and prints their ratios.
//
// usage: exports_timing [REPEATS]    prints one line per path the processor has
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exposure_frame.h"
#include "pci_frm01_sim.h"
#include "platform/instruction_set.h"
#include "platform/wait.h"
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

bool Expose(const std::vector<uint8_t>& raw) {
  PCI_FRM01_SimInjectFrame(raw.data(), int32_t(raw.size()));
  return RunforDetector(TAVRIX_RUN_ARM) == 1 && RunforDetector(TAVRIX_RUN_ACQUIRE) == 1;
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
  times.firstExposure = TimedMilliseconds([&] { ok = Expose(raw) && ok; });
  times.firstEnhancement = enhance();
  std::vector<double> exposures, enhancements;
  for (int i = 0; i < repeats; ++i) {
    exposures.push_back(TimedMilliseconds([&] { ok = Expose(raw) && ok; }));
    enhancements.push_back(enhance());
  }
  times.steadyExposure = Median(exposures);
  times.steadyEnhancement = Median(enhancements);
  Sys_Free();
  return ok;
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
    std::fflush(stdout);
  }
  return 0;
}
