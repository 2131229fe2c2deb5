/* A minimal host of the Tavrix 1417 PCI detector library: creates the
 * detector, loads the calibration maps of both panels, selects one, takes one
 * exposure and writes the corrected image to a file, then releases the
 * detector. Every call's result is checked; a failure says which call failed
 * and what that result means.
 *
 * usage: acquire_one PIXEL_MAP_0 GAIN_MAP_0 PIXEL_MAP_1 GAIN_MAP_1 PANEL OUTPUT
 *
 * OUTPUT receives 3072 x 3072 unsigned 16-bit pixels, little-endian, row by
 * row (values 0..16383). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tavrix_1417_pci_vusk.h>

#define PIXELS ((size_t)TAVRIX_IMAGE_WIDTH * TAVRIX_IMAGE_HEIGHT)

static int fail(const char *call, int32_t result, const char *why) {
  fprintf(stderr, "acquire_one: %s returned %d: %s\n", call, (int)result, why);
  return 0;
}

static int load_maps(const char *pixel_map, const char *gain_map, int32_t panel) {
  int32_t result = LoadPixelMap(pixel_map, panel);
  if (result != 1) {
    fprintf(stderr, "acquire_one: %s: ", pixel_map);
    return fail("LoadPixelMap", result, "missing, unreadable, or shorter than 3073 x 3073 bytes");
  }
  result = LoadGainMap(gain_map, panel);
  if (result != 1) {
    fprintf(stderr, "acquire_one: %s: ", gain_map);
    return fail("LoadGainMap", result, "missing, unreadable, or shorter than 3072 x 3072 floats");
  }
  return 1;
}

/* Arms, acquires and copies the image out: the library's buffer is
 * overwritten by the next acquisition. */
static int acquire(uint16_t *image) {
  int32_t result = RunforDetector(TAVRIX_RUN_ARM);
  if (result != 1) return fail("RunforDetector(arm)", result, "the detector is armed already");
  result = RunforDetector(TAVRIX_RUN_ACQUIRE);
  if (result != 1) {
    RunforDetector(TAVRIX_RUN_CANCEL);
    return fail("RunforDetector(acquire)", result,
                "no new image: the card failed to deliver a whole frame, or none came within the waits");
  }
  const uint16_t *buffer = SaveRawImage();
  if (buffer == NULL) return fail("SaveRawImage", 0, "no image buffer");
  memcpy(image, buffer, PIXELS * sizeof *image);
  return 1;
}

static int write_image(const char *path, const uint16_t *image) {
  FILE *file = fopen(path, "wb");
  if (file == NULL) {
    perror(path);
    return 0;
  }
  /* Little-endian whatever the host: the file format does not depend on it. */
  unsigned char row[TAVRIX_IMAGE_WIDTH * 2];
  int ok = 1;
  for (size_t y = 0; y < TAVRIX_IMAGE_HEIGHT && ok; ++y) {
    for (size_t x = 0; x < TAVRIX_IMAGE_WIDTH; ++x) {
      uint16_t v = image[y * TAVRIX_IMAGE_WIDTH + x];
      row[2 * x] = (unsigned char)(v & 0xff);
      row[2 * x + 1] = (unsigned char)(v >> 8);
    }
    ok = fwrite(row, sizeof row, 1, file) == 1;
  }
  if (fclose(file) != 0) ok = 0;
  if (!ok) {
    perror(path);
    remove(path);
  }
  return ok;
}

int main(int argc, char **argv) {
  if (argc != 7 || (strcmp(argv[5], "0") != 0 && strcmp(argv[5], "1") != 0)) {
    fprintf(stderr, "usage: acquire_one PIXEL_MAP_0 GAIN_MAP_0 PIXEL_MAP_1 GAIN_MAP_1 PANEL OUTPUT\n"
                    "  PANEL is 0 or 1; OUTPUT receives 3072 x 3072 16-bit little-endian pixels\n");
    return 2;
  }
  const int32_t panel = argv[5][0] - '0';

  uint16_t *image = malloc(PIXELS * sizeof *image);
  if (image == NULL) {
    fprintf(stderr, "acquire_one: no memory for the image\n");
    return 1;
  }

  int32_t result = Sys_Allocation_1417();
  if (result != 1) {
    free(image);
    fail("Sys_Allocation_1417", result,
         result == -1 ? "a detector exists already in this process" : "not enough memory");
    return 1;
  }

  int ok = 1;
  if (CheckFrameGrabber() != 1) {
    ok = fail("CheckFrameGrabber", 0, "the frame grabber did not open (no card found)");
  }
  ok = ok && load_maps(argv[1], argv[2], 0);
  ok = ok && load_maps(argv[3], argv[4], 1);
  if (ok && (result = PanelSelect(panel)) != panel) ok = fail("PanelSelect", result, "panel not selected");
  if (ok) Init_Comm(); /* drains stale serial bytes */
  ok = ok && acquire(image);

  if ((result = Sys_Free()) != 1) ok = fail("Sys_Free", result, "no detector to release");
  ok = ok && write_image(argv[6], image);
  free(image);
  if (ok) printf("wrote %s\n", argv[6]);
  return ok ? 0 : 1;
}
