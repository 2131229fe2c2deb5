// Runs inside the 32-bit Windows build: every vector path the processor
// offers (SSE2 always, AVX2 and AVX-512 where present) must give exactly the
// results of the plain steps, for the readout, the correction and the
// enhancement. The DLL itself always takes the widest path, so only this
// program exercises the narrower ones on the Windows target.
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "platform/dimensions.h"
#include "enhancement/enhancement_engine.h"
#include "grabber/frame_grabber.h"
#include "support/correction_images.h"
#include "support/instruction_sets.h"
#include "support/synthetic_radiograph.h"

namespace {

using namespace tavrix_test;
constexpr int32_t kWidth = tavrix::kImageWidth;
constexpr int32_t kHeight = tavrix::kImageHeight;

int g_failures = 0;

void Expect(bool same, const char* what, tavrix::InstructionSet path) {
  std::printf("%-12s %-40s %s\n", InstructionSetName(path), what, same ? "identical" : "DIFFERENT");
  if (!same) ++g_failures;
}

void CheckReadout(tavrix::InstructionSet path) {
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  std::mt19937 random(7);
  for (uint8_t& byte : raw) byte = uint8_t(random());
  std::vector<uint16_t> fast(tavrix::kImagePixels, 0x5A5A), plain(fast);
  tavrix::UnscrambleFrame(raw.data(), fast.data(), kWidth, kHeight);
  tavrix::UnscrambleFramePlain(raw.data(), plain.data(), kWidth, kHeight);
  Expect(fast == plain, "readout of a random raw frame", path);
}

void CheckCorrection(tavrix::InstructionSet path, TestImage frame, const char* what) {
  TestPixelMap map(kWidth, kHeight);
  AddRandomDefects(map, kWidth, kHeight, 3000, 11);
  map.SetRowFlag(100, 3);
  map.SetRowFlag(2000, 1);
  for (int32_t c : {0, 1, 500, 3071}) map.SetColumnFlag(c, 1);
  TestGainMap gains(kWidth, kHeight);
  FillRealisticGains(gains, kWidth, kHeight);
  TestImage plain = frame;
  tavrix::CorrectImage(frame.data(), kWidth, kHeight, map.rows(), gains.rows());
  tavrix::CorrectImagePlain(plain.data(), kWidth, kHeight, map.rows(), gains.rows());
  Expect(frame.pixels() == plain.pixels(), what, path);
}

void CheckEnhancement(tavrix::InstructionSet path, tavrix::EnhancementEngine& engine) {
  const std::vector<uint16_t> radiograph = SyntheticRadiograph(kWidth, kHeight);
  std::vector<uint16_t> fastSource(radiograph), plainSource(radiograph);
  std::vector<uint16_t> fast(tavrix::kImagePixels, 0), plain(tavrix::kImagePixels, 0);
  engine.Enhance(fastSource.data(), fast.data(), 5, 10, 3, 10, kWidth, kHeight);
  engine.EnhancePlain(plainSource.data(), plain.data(), 5, 10, 3, 10, kWidth, kHeight);
  Expect(fast == plain && fastSource == plainSource, "enhancement, levels 5 strength 10 r 3", path);
}

}  // namespace

int main() {
  tavrix::EnhancementEngine engine;
  if (!engine.IsComplete()) {
    std::fprintf(stderr, "cannot allocate the enhancement engine\n");
    return 1;
  }
  const TestImage exposure = SimulatedExposure(kWidth, kHeight, 3);
  const TestImage noise = RandomImage(kWidth, kHeight, 5);
  ForEachInstructionSet(
      [&](tavrix::InstructionSet path) {
        CheckReadout(path);
        CheckCorrection(path, exposure, "correction of a simulated exposure");
        CheckCorrection(path, noise, "correction of 16-bit noise");
        CheckEnhancement(path, engine);
      },
      [&](tavrix::InstructionSet path, tavrix::InstructionSet active) {
        if (path <= tavrix::SupportedInstructionSet()) {
          std::printf("%-12s taking it left the %s path active\n", InstructionSetName(path), InstructionSetName(active));
          ++g_failures;
        } else {
          std::printf("%-12s skipped: the processor lacks it\n", InstructionSetName(path));
        }
      });
  if (g_failures != 0) {
    std::printf("%d check(s) differ from the plain steps\n", g_failures);
    return 1;
  }
  std::printf("every vector path matches the plain steps\n");
  return 0;
}
