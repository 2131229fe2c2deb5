/* Control interface of the frame-grabber simulator, for the project's tests:
 * records every call of the frame-grabber functions and lets a test script
 * their results and inject frames and serial bytes. Not part of the real
 * module's interface. */
#ifndef PCI_FRM01_SIM_H
#define PCI_FRM01_SIM_H

#include "grabber/pci_frm01.h"

#ifdef __cplusplus
extern "C" {
#endif

/* LVDS_Check results scripted with this value follow the default behaviour. */
#define PCI_FRM01_SIM_DEFAULT (-2147483647 - 1)

/* Forgets every script, injection and recorded call, and reads the
 * environment again (PCI_FRM01_SIM_DEVICE, _FRAMES, _UART, _FAULT). Otherwise
 * the environment is read once, at the first call into the module. Scripted
 * results (PCI_FRM01_SimScriptOpen, _SimScriptCheck) take precedence over a
 * fault. */
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimReset(void);
/* The calls since the last reset or clear, each as "Name" or "Name(arg)",
 * separated by ';'. Valid until the next call into the simulator. */
PCI_FRM01_API const char *PCI_FRM01_CALL PCI_FRM01_SimCallLog(void);
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimClearCallLog(void);
/* The result of every later OpenDAQDevice. */
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimScriptOpen(int32_t result);
/* The next `count` LVDS_Check calls return `results` in order; after them
 * every call returns `thereafter` (PCI_FRM01_SIM_DEFAULT: the usual
 * not-ready-then-ready behaviour after each LVDS_Start). */
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimScriptCheck(const int32_t *results, int32_t count,
                                                            int32_t thereafter);
/* Queues a raw frame (at most 16,204,480 bytes, the rest 0) delivered by a
 * later LVDS_GetFrame before any other source. */
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimInjectFrame(const void *frame, int32_t bytes);
/* Appends bytes to what UART_GetData delivers, up to its length per call. */
PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimInjectSerial(const void *bytes, int32_t count);
/* Number of frames LVDS_GetFrame delivered, whole or in part, since the last
 * reset; a failed call does not count. */
PCI_FRM01_API int32_t PCI_FRM01_CALL PCI_FRM01_SimFramesDelivered(void);

#ifdef __cplusplus
}
#endif

#endif
