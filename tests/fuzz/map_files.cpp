// Map files of every size against LoadPixelMap and LoadGainMap. The input:
//   byte 0      bit 0: gain map (else pixel map); bit 1: check the maps through
//               corrected images; bit 2: check the panel loaded (else the other)
//   bytes 1..4  panelSelector (int32, little-endian)
//   bytes 5..8  file size less the map's size (int32, clamped to 0..size + 64 KiB)
//   the rest    the file's bytes, repeated (zeros when empty)
// A load returns 1 exactly when the file holds at least the map's bytes. A
// refused load must leave the map unchanged, and no load may change the other
// panel's maps: both show in the image corrected with them, which is compared
// before and after the load when bit 1 is set (an acquisition costs far more
// than a load, so the fuzzer decides how often).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "grabber/frame_grabber.h"

namespace {

constexpr int64_t kPixelMapBytes = int64_t(TAVRIX_IMAGE_WIDTH + 1) * (TAVRIX_IMAGE_HEIGHT + 1);
constexpr int64_t kGainMapBytes = int64_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT * 4;
constexpr int64_t kLargestExcess = 65536;
constexpr size_t kImagePixels = size_t(TAVRIX_IMAGE_WIDTH) * TAVRIX_IMAGE_HEIGHT;

// One file in memory, rewritten for every input.
int g_file = -1;
char g_path[64];
std::vector<uint8_t> g_chunk;
std::vector<uint16_t> g_before;
std::vector<uint8_t> g_frame;

void WriteFile(int64_t size, const uint8_t* pattern, size_t patternSize) {
  CHECK(ftruncate(g_file, 0) == 0);
  CHECK(ftruncate(g_file, size) == 0);
  if (patternSize == 0) return;
  // A chunk holding whole repetitions, so that consecutive chunks continue the pattern.
  const size_t chunk = (size_t(1) << 20) / patternSize * patternSize;
  g_chunk.resize(chunk);
  for (size_t i = 0; i < chunk; ++i) g_chunk[i] = pattern[i % patternSize];
  for (int64_t at = 0; at < size; at += int64_t(chunk)) {
    const size_t count = size_t(size - at < int64_t(chunk) ? size - at : int64_t(chunk));
    CHECK(pwrite(g_file, g_chunk.data(), count, at) == ssize_t(count));
  }
}

// The same raw frame every time, corrected with the maps of `panel`.
const uint16_t* CorrectedImage(int32_t panel) {
  PCI_FRM01_SimReset();
  PCI_FRM01_SimInjectFrame(g_frame.data(), int32_t(g_frame.size()));
  CHECK(PanelSelect(panel) == panel);
  CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1);
  CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 1);
  return SaveRawImage();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CreateDetector();
  g_file = memfd_create("map", 0);
  CHECK(g_file >= 0);
  std::snprintf(g_path, sizeof g_path, "/proc/self/fd/%d", g_file);
  g_before.resize(kImagePixels);
  // The simulator's first frame, taken once: composing one costs more than correcting it.
  int32_t frameBytes = tavrix::kRawFrameBytes;
  g_frame.resize(size_t(frameBytes));
  CHECK(LVDS_GetFrame(&frameBytes, g_frame.data()) == 0 && frameBytes == tavrix::kRawFrameBytes);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t flags = size > 0 ? data[0] : 0;
  const bool gain = (flags & 1) != 0;
  const bool compare = (flags & 2) != 0;
  const int32_t selector = fuzz::ReadInt32(data, size, 1);
  const int32_t loadedPanel = selector == 0 ? 0 : 1;
  const int32_t shownPanel = (flags & 4) != 0 ? loadedPanel : 1 - loadedPanel;
  const int64_t mapBytes = gain ? kGainMapBytes : kPixelMapBytes;
  int64_t fileBytes = mapBytes + fuzz::ReadInt32(data, size, 5);
  if (fileBytes < 0) fileBytes = 0;
  if (fileBytes > mapBytes + kLargestExcess) fileBytes = mapBytes + kLargestExcess;
  const size_t header = size < 9 ? size : 9;
  WriteFile(fileBytes, data + header, size - header);

  auto load = gain ? LoadGainMap : LoadPixelMap;
  CHECK(load(nullptr, selector) == 0);
  if (compare) std::memcpy(g_before.data(), CorrectedImage(shownPanel), kImagePixels * sizeof(uint16_t));
  const int32_t result = load(g_path, selector);
  CHECK(result == (fileBytes >= mapBytes ? 1 : 0));
  if (compare) {
    const uint16_t* after = CorrectedImage(shownPanel);
    if (result == 0 || shownPanel != loadedPanel)
      CHECK(std::memcmp(g_before.data(), after, kImagePixels * sizeof(uint16_t)) == 0);
  }
  return 0;
}
