/* A frame the card fails to deliver, through the exports of the module that
 * ships: the first exposure succeeds, every later one fails. Run with
 * PCI_FRM01_SIM_FAULT set to getframe-error or short-frame and
 * PCI_FRM01_SIM_FAULT_AFTER=1.
 *
 * usage: failed_frame_check */
#include <stdint.h>
#include <stdio.h>

#include "host/host_checks.h"
#include "tavrix_1417_pci_vusk.h"

#define PIXELS ((size_t)TAVRIX_IMAGE_WIDTH * TAVRIX_IMAGE_HEIGHT)

static size_t NonZeroPixels(const uint16_t *image) {
  size_t count = 0, i;
  for (i = 0; i < PIXELS; ++i) count += image[i] != 0;
  return count;
}

int main(void) {
  int attempt;
  CHECK(Sys_Allocation_1417() == 1, "Sys_Allocation_1417");
  CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1 && RunforDetector(TAVRIX_RUN_ACQUIRE) == 1, "first exposure");
  CHECK(NonZeroPixels(SaveRawImage()) > PIXELS / 2, "the first exposure is not an image");
  /* Twice: the detector is not left busy or armed by a failure. */
  for (attempt = 0; attempt < 2; ++attempt) {
    CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1, "arming after a failure %d", attempt);
    CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 0, "a failed frame reported as done %d", attempt);
    CHECK(NonZeroPixels(SaveRawImage()) == 0, "a failed frame left %lu pixels of an image",
          (unsigned long)NonZeroPixels(SaveRawImage()));
    CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1 && RunforDetector(TAVRIX_RUN_CANCEL) == 1,
          "a failed acquisition left the detector armed");
  }
  CHECK(Sys_Free() == 1, "Sys_Free");
  if (g_failures == 0) printf("failed frames reported as failures\n");
  return g_failures == 0 ? 0 : 1;
}
