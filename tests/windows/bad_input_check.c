/* The host-side bad input, on the DLL that ships: every export before
 * creation and after release, null and unusable map paths, short and long map
 * files, out-of-range arguments, Enhancement with null images and edge
 * parameters, and 200 create/release cycles. Calls go through the import
 * library, as in a station.
 *
 * usage: bad_input_check <pixel-map> <gain-map> <replay-frame>
 * Run in a writable folder, with PCI_FRM01_SIM_FRAMES naming <replay-frame>:
 * the program writes that one frame first, so that every acquisition
 * delivers the same raw frame and images can be compared. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host_checks.h"
#include "tavrix_1417_pci_vusk.h"

#define PIXELS ((size_t)TAVRIX_IMAGE_WIDTH * TAVRIX_IMAGE_HEIGHT)
#define PIXEL_MAP_BYTES (3073L * 3073L)
#define GAIN_MAP_BYTES (3072L * 3072L * 4L)
#define RAW_FRAME_BYTES 16204480L



/* A file of `bytes` bytes; `word` gives each little-endian 16-bit word. */
static int WriteWords(const char *path, long bytes, uint16_t (*word)(long)) {
  FILE *f = fopen(path, "wb");
  if (f == NULL) return 0;
  for (long i = 0; i < bytes; ++i) fputc((int)(i % 2 ? word(i / 2) >> 8 : word(i / 2) & 0xFF), f);
  return fclose(f) == 0;
}

static uint16_t IndexWord(long i) { return (uint16_t)(((i & 0x7F) << 8) | (i & 0xFE)); }
static uint16_t FrameWord(long i) { return (uint16_t)(4000 + (i * 7919) % 9000); }
static int WriteFile(const char *path, long bytes) { return WriteWords(path, bytes, IndexWord); }

static void CheckWithoutDetector(const char *when) {
  CHECK(Sys_Free() == -1, "Sys_Free %s", when);
  CHECK(CheckSwitch() == -1, "CheckSwitch %s", when);
  CHECK(PanelSelect(0) == -1 && PanelSelect(INT32_MIN) == -1, "PanelSelect %s", when);
  CHECK(RunforDetector(1) == 1 && RunforDetector(2) == 2 && RunforDetector(-9) == -9 &&
            RunforDetector(INT32_MAX) == INT32_MAX,
        "RunforDetector returns its command %s", when);
  CHECK(LoadPixelMap(NULL, 0) == -1 && LoadPixelMap("x", 1) == -1, "LoadPixelMap %s", when);
  CHECK(LoadGainMap(NULL, 0) == -1 && LoadGainMap("x", 1) == -1, "LoadGainMap %s", when);
  CHECK(SaveRawImage() == NULL, "SaveRawImage %s", when);
  CHECK(CheckFrameGrabber() == -1, "CheckFrameGrabber %s", when);
  CHECK(GetTemperature() == -1, "GetTemperature %s", when);
  CHECK(GetSwitchMsg(0) == 0 && GetSwitchMsg(-1) == 0, "GetSwitchMsg %s", when);
  CHECK(Init_Comm() == -1, "Init_Comm %s", when);
  CHECK(GetMsgLength() == -1, "GetMsgLength %s", when);
  CHECK(Enhancement(NULL, NULL, 5, 10, 3, 10) == -1, "Enhancement %s", when);
}

static uint64_t Acquire(void) {
  CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1, "arm");
  CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 1, "acquire");
  return Digest(SaveRawImage(), PIXELS);
}

static void CheckMapFiles(const char *pixelMap, const char *gainMap) {
  static const struct {
    const char *name;
    long bytes;
    int32_t pixelResult, gainResult;
  } files[] = {
      {"empty.bin", 0, 0, 0},
      {"short_pixel.bin", PIXEL_MAP_BYTES - 1, 0, 0},
      {"long_pixel.bin", PIXEL_MAP_BYTES + 1, 1, 0},
      {"short_gain.bin", GAIN_MAP_BYTES - 1, 1, 0},
  };
  for (int panel = 0; panel < 2; ++panel) {
    CHECK(LoadPixelMap(pixelMap, panel) == 1, "LoadPixelMap %s", pixelMap);
    CHECK(LoadGainMap(gainMap, panel) == 1, "LoadGainMap %s", gainMap);
  }
  const uint64_t before = Acquire();

  /* Refused loads leave the maps as they were: the next image is the same. */
  CHECK(LoadPixelMap(NULL, 0) == 0 && LoadGainMap(NULL, 0) == 0, "null path");
  CHECK(LoadPixelMap("no-such-file.bin", 0) == 0 && LoadGainMap("no-such-file.bin", 0) == 0, "missing file");
  CHECK(LoadPixelMap(".", 0) == 0 && LoadGainMap(".", 0) == 0, "a directory");
  CHECK(LoadPixelMap("", 0) == 0 && LoadGainMap("", 0) == 0, "an empty path");
  for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
    CHECK(WriteFile(files[i].name, files[i].bytes), "writing %s", files[i].name);
    if (files[i].pixelResult == 0)
      CHECK(LoadPixelMap(files[i].name, 0) == 0, "LoadPixelMap of %s", files[i].name);
    if (files[i].gainResult == 0)
      CHECK(LoadGainMap(files[i].name, 0) == 0, "LoadGainMap of %s", files[i].name);
  }
  CHECK(Acquire() == before, "a refused map load changed the image");

  /* A longer file loads its first bytes; any selector but 0 means panel 1. */
  CHECK(LoadPixelMap("long_pixel.bin", 7) == 1, "LoadPixelMap of a longer file, selector 7");
  CHECK(LoadGainMap("long_pixel.bin", -1) == 0, "LoadGainMap of a file shorter than a gain map");
  CHECK(PanelSelect(1) == 1, "PanelSelect(1)");
  CHECK(Acquire() != before, "the map loaded for selector 7 is not panel 1's");
  CHECK(PanelSelect(0) == 0, "PanelSelect(0)");
  CHECK(Acquire() == before, "panel 0's maps changed by a load for selector 7");
  for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) remove(files[i].name);
}

static void CheckArguments(void) {
  CHECK(PanelSelect(2) == 0 && PanelSelect(-1) == 0 && PanelSelect(INT32_MAX) == 0 &&
            PanelSelect(INT32_MIN) == 0,
        "PanelSelect out of range keeps panel 0");
  CHECK(RunforDetector(0) == 0 && RunforDetector(4) == 0 && RunforDetector(-1) == 0 &&
            RunforDetector(INT32_MIN) == 0,
        "RunforDetector of an unknown command");
  CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 0, "acquire without arming");
  CHECK(GetSwitchMsg(-1) == 0 && GetSwitchMsg(64) == 0 && GetSwitchMsg(INT32_MIN) == 0 &&
            GetSwitchMsg(INT32_MAX) == 0,
        "GetSwitchMsg outside the message");
}

static void CheckEnhancement(void) {
  uint16_t *source = malloc(PIXELS * sizeof *source);
  uint16_t *destination = malloc(PIXELS * sizeof *destination);
  uint16_t *five = malloc(PIXELS * sizeof *five);
  CHECK(source && destination && five, "memory for the images");
  if (!source || !destination || !five) return;
  memcpy(source, SaveRawImage(), PIXELS * sizeof *source);
  const uint64_t original = Digest(source, PIXELS);

  CHECK(Enhancement(NULL, destination, 5, 10, 3, 10) == 0, "null source");
  CHECK(Enhancement(source, NULL, 5, 10, 3, 10) == 0, "null destination");
  CHECK(Enhancement(NULL, NULL, 5, 10, 3, 10) == 0, "null images");

  static const int32_t untouched[][4] = {
      {0, 10, 3, 10}, {5, 0, 3, 10}, {5, 10, 0, 10}, {5, 10, 4, 10}, {5, 10, 3, 0},
      {5, 10, 3, 31}, {5, 10, INT32_MIN, 10}, {5, 10, 3, INT32_MAX},
  };
  memset(destination, 0x5A, PIXELS * sizeof *destination);
  const uint64_t pattern = Digest(destination, PIXELS);
  for (size_t i = 0; i < sizeof untouched / sizeof untouched[0]; ++i) {
    const int32_t *p = untouched[i];
    CHECK(Enhancement(source, destination, p[0], p[1], p[2], p[3]) == 1, "Enhancement(%d,%d,%d,%d)", (int)p[0],
          (int)p[1], (int)p[2], (int)p[3]);
    CHECK(Digest(source, PIXELS) == original && Digest(destination, PIXELS) == pattern, "Enhancement(%d,%d,%d,%d) touched an image",
          (int)p[0], (int)p[1], (int)p[2], (int)p[3]);
  }

  /* Levels above 5 run 5. */
  CHECK(Enhancement(source, five, 5, 10, 3, 10) == 1, "Enhancement with 5 levels");
  memcpy(source, SaveRawImage(), PIXELS * sizeof *source);
  CHECK(Enhancement(source, destination, INT32_MAX, 10, 3, 10) == 1, "Enhancement with INT32_MAX levels");
  CHECK(memcmp(destination, five, PIXELS * sizeof *five) == 0, "INT32_MAX levels differ from 5");
  /* Extreme strength and the edges of the ranges run. */
  CHECK(Enhancement(source, destination, 1, INT32_MAX, 1, 1) == 1, "strength INT32_MAX");
  CHECK(Enhancement(source, destination, 1, INT32_MIN, 3, 30) == 1, "strength INT32_MIN");
  for (size_t i = 0; i < PIXELS; ++i)
    if (destination[i] > 16383) {
      CHECK(0, "an enhanced pixel beyond 16383 at %u", (unsigned)i);
      break;
    }
  free(source);
  free(destination);
  free(five);
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: bad_input_check <pixel-map> <gain-map> <replay-frame>\n");
    return 2;
  }
  /* Before the first call that reaches the frame grabber, which reads it. */
  if (!WriteWords(argv[3], RAW_FRAME_BYTES, FrameWord)) {
    fprintf(stderr, "cannot write %s\n", argv[3]);
    return 1;
  }
  CheckWithoutDetector("before creation");
  CHECK(Sys_Allocation_1417() == 1, "Sys_Allocation_1417");
  CHECK(Sys_Allocation_1417() == -1, "a second Sys_Allocation_1417");
  CheckMapFiles(argv[1], argv[2]);
  CheckArguments();
  CheckEnhancement();
  CHECK(Sys_Free() == 1, "Sys_Free");
  CheckWithoutDetector("after release");

  for (int cycle = 0; cycle < 200; ++cycle) {
    if (Sys_Allocation_1417() != 1) {
      CHECK(0, "Sys_Allocation_1417 failed in cycle %d", cycle);
      break;
    }
    CHECK(GetMsgLength() == 64 && PanelSelect(1) == 1, "calls in cycle %d", cycle);
    CHECK(Sys_Free() == 1, "Sys_Free in cycle %d", cycle);
  }
  CheckWithoutDetector("after 200 cycles");

  if (g_failures) {
    fprintf(stderr, "%d check(s) failed\n", g_failures);
    return 1;
  }
  printf("bad input on the DLL: every result as documented\n");
  return 0;
}
