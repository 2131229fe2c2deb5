/* The frame-grabber module's functions, for the linker only: on Linux a host
 * linked against the library must resolve the library's needs, yet the SDK
 * may not carry a module that could stand in for the card's at run time. The
 * SDK installs this beside no loader path, and a run path never names it;
 * every call reports failure should it ever be loaded. */
#define PCI_FRM01_BUILDING
#include "grabber/pci_frm01.h"

int32_t OpenDAQDevice(void) { return -1; }
int32_t LVDS_Init(void) { return -1; }
int32_t UART_Init(void) { return -1; }
int32_t LVDS_SetModel(int32_t model) {
  (void)model;
  return -1;
}
int32_t LVDS_Start(void) { return -1; }
int32_t LVDS_Check(void) { return 0; }
int32_t LVDS_GetFrame(int32_t *byteCount, void *buffer) {
  (void)buffer;
  if (byteCount != 0) *byteCount = 0;
  return -1;
}
int32_t UART_GetData(int32_t *length, void *buffer) {
  (void)buffer;
  if (length != 0) *length = 0;
  return -1;
}
int32_t LVDS_Close(void) { return -1; }
int32_t UART_Close(void) { return -1; }
int32_t CloseDAQDevice(void) { return -1; }
