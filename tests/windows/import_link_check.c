/* A host that calls the 14 functions directly, as an integrator's program
 * does: compiled against the public header and linked against an import
 * library (no LoadLibrary). If the import library lacked the decorated
 * __stdcall names, this program would not link; if it bound them to the wrong
 * exports, the results below would be wrong.
 *
 * usage: import_link_check <pixel-map> <gain-map> <reference-digests>
 * The serial channel must deliver 'v', 'f', 0x19, 'g' (PCI_FRM01_SIM_UART). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host_checks.h"
#include "tavrix_1417_pci_vusk.h"

#define PIXELS ((size_t)TAVRIX_IMAGE_WIDTH * TAVRIX_IMAGE_HEIGHT)



int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: import_link_check <pixel-map> <gain-map> <reference-digests>\n");
    return 2;
  }
  unsigned long long corrected_ref = 0, enhanced_ref = 0;
  FILE *ref = fopen(argv[3], "r");
  CHECK(ref != NULL, "reference digests readable");
  if (ref == NULL) return 1;
  CHECK(fscanf(ref, "corrected %llx enhanced %llx", &corrected_ref, &enhanced_ref) == 2,
        "reference digests parsed");
  fclose(ref);

  CHECK(Sys_Free() == -1, "Sys_Free before creation");
  CHECK(Sys_Allocation_1417() == 1, "Sys_Allocation_1417");
  CHECK(CheckFrameGrabber() == 1, "CheckFrameGrabber against the simulator");
  CHECK(LoadPixelMap("no-such-file.bin", 0) == 0, "LoadPixelMap of a missing file");
  for (int32_t panel = 0; panel < 2; ++panel) {
    CHECK(LoadPixelMap(argv[1], panel) == 1, "LoadPixelMap");
    CHECK(LoadGainMap(argv[2], panel) == 1, "LoadGainMap");
  }
  CHECK(PanelSelect(1) == 1, "PanelSelect(1)");
  CHECK(PanelSelect(0) == 0, "PanelSelect(0)");
  CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 0, "acquire without arming");
  CHECK(RunforDetector(TAVRIX_RUN_ARM) == 1, "arm");
  CHECK(RunforDetector(TAVRIX_RUN_ACQUIRE) == 1, "acquire");

  const uint16_t *image = SaveRawImage();
  CHECK(image != NULL, "SaveRawImage");
  if (image == NULL) return 1;
  CHECK(Digest(image, PIXELS) == corrected_ref, "corrected image equals the reference build's");

  CHECK(CheckSwitch() == -1, "CheckSwitch");
  CHECK(GetMsgLength() == 64, "GetMsgLength");
  CHECK(GetSwitchMsg(0) == 1, "switch code 'v' at position 0");
  CHECK(GetSwitchMsg(1) == 0, "a temperature frame is no switch code");
  CHECK(GetTemperature() == 21, "temperature frame 0x19 decodes to 21 degrees");
  CHECK(GetSwitchMsg(64) == 0, "GetSwitchMsg beyond the message");

  uint16_t *source = malloc(PIXELS * sizeof *source);
  uint16_t *destination = calloc(PIXELS, sizeof *destination);
  CHECK(source != NULL && destination != NULL, "memory for the enhancement");
  if (source != NULL && destination != NULL) {
    memcpy(source, image, PIXELS * sizeof *source);
    CHECK(Enhancement(NULL, destination, 5, 10, 3, 10) == 0, "Enhancement of a null image");
    CHECK(Enhancement(source, destination, 5, 10, 3, 10) == 1, "Enhancement");
    CHECK(Digest(destination, PIXELS) == enhanced_ref, "enhanced image equals the reference build's");
  }
  free(source);
  free(destination);

  CHECK(RunforDetector(TAVRIX_RUN_CANCEL) == 1, "cancel");
  CHECK(Sys_Free() == 1, "Sys_Free");
  CHECK(Sys_Free() == -1, "Sys_Free after release");
  CHECK(SaveRawImage() == NULL, "SaveRawImage after release");

  if (g_failures) {
    fprintf(stderr, "%d check(s) failed\n", g_failures);
    return 1;
  }
  printf("all calls through the import library behaved as documented\n");
  return 0;
}
