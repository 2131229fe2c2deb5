/* Soak: cycles of create, select, load maps, acquire, poll, enhance and
 * release through the exports, as a station does over a day. Fails if the
 * resident memory after a release grows once the first 50 cycles have
 * settled it, or if any call's result is not the documented one.
 *
 * usage: soak CYCLES PIXEL_MAP GAIN_MAP */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tavrix_1417_pci_vusk.h"

#define PIXELS ((size_t)TAVRIX_IMAGE_WIDTH * TAVRIX_IMAGE_HEIGHT)
#define SETTLING_CYCLES 50
/* Allocator bookkeeping may move by a few pages; a leak of any buffer of an
 * image's size is far above this. */
#define TOLERATED_GROWTH_KIB 2048

static long ResidentKiB(void) {
  long pages = 0, resident = 0;
  FILE *f = fopen("/proc/self/statm", "r");
  if (f == NULL) return -1;
  if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  fclose(f);
  return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static int Cycle(int cycle, const char *pixelMap, const char *gainMap, uint16_t *source, uint16_t *destination) {
  int ok = Sys_Allocation_1417() == 1;
  const int32_t panel = cycle % 2;
  ok = ok && LoadPixelMap(pixelMap, panel) == 1 && LoadGainMap(gainMap, panel) == 1;
  ok = ok && PanelSelect(panel) == panel;
  ok = ok && RunforDetector(TAVRIX_RUN_ARM) == 1 && RunforDetector(TAVRIX_RUN_ACQUIRE) == 1;
  const uint16_t *image = ok ? SaveRawImage() : NULL;
  ok = ok && image != NULL;
  if (ok) {
    ok = CheckSwitch() == -1 && GetMsgLength() == 64;
    for (int32_t position = 0; ok && position < 64; ++position) ok = GetSwitchMsg(position) == 0;
    memcpy(source, image, PIXELS * sizeof *source);
    ok = ok && Enhancement(source, destination, 5, 10, 3, 10) == 1;
  }
  if (Sys_Free() != 1) ok = 0;
  if (!ok) fprintf(stderr, "soak: cycle %d: a call did not give its documented result\n", cycle + 1);
  return ok;
}

int main(int argc, char **argv) {
  const int cycles = argc == 4 ? atoi(argv[1]) : 0;
  if (cycles <= SETTLING_CYCLES) {
    fprintf(stderr, "usage: soak CYCLES PIXEL_MAP GAIN_MAP   (CYCLES above %d)\n", SETTLING_CYCLES);
    return 2;
  }
  uint16_t *source = malloc(PIXELS * sizeof *source);
  uint16_t *destination = malloc(PIXELS * sizeof *destination);
  if (source == NULL || destination == NULL) {
    fprintf(stderr, "soak: no memory for the images\n");
    return 1;
  }
  long settled = 0, highest = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (!Cycle(cycle, argv[2], argv[3], source, destination)) return 1;
    const long resident = ResidentKiB();
    if (cycle < SETTLING_CYCLES) {
      if (resident > settled) settled = resident;
    } else if (resident > highest) {
      highest = resident;
    }
    if ((cycle + 1) % 50 == 0) printf("cycle %d: resident %ld KiB after release\n", cycle + 1, resident);
    fflush(stdout);
  }
  printf("resident after release: at most %ld KiB in cycles 1..%d, at most %ld KiB in cycles %d..%d\n", settled,
         SETTLING_CYCLES, highest, SETTLING_CYCLES + 1, cycles);
  if (settled < 0 || highest - settled > TOLERATED_GROWTH_KIB) {
    fprintf(stderr, "soak: resident memory grew by %ld KiB after cycle %d\n", highest - settled, SETTLING_CYCLES);
    return 1;
  }
  free(source);
  free(destination);
  return 0;
}
