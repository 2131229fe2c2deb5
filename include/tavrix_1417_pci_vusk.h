/* Tavrix 1417 PCI detector library: the 14 functions a host calls.
 *
 * On 32-bit Windows the module is "Tavrix_1417_PCI_Vusk.dll"; every function
 * uses the __stdcall convention and is exported by its undecorated name and
 * by the ordinal given below. On Linux the same functions are exported with
 * C linkage from libTavrix_1417_PCI_Vusk.so.
 *
 * Results are 32-bit: 1 done, 0 refused or failed, -1 when no detector object
 * exists (see each function for its exceptions). All calls must come from one
 * thread at a time; the library starts no thread and takes no lock.
 */
#ifndef TAVRIX_1417_PCI_VUSK_H
#define TAVRIX_1417_PCI_VUSK_H

#include <stdint.h>

/* The library's version; the build takes its version from these lines. */
#define TAVRIX_VERSION_MAJOR 1
#define TAVRIX_VERSION_MINOR 0
#define TAVRIX_VERSION_PATCH 0

#if defined(_WIN64)
#  error "Tavrix_1417_PCI_Vusk.dll is a 32-bit DLL: build the host for 32-bit x86"
#endif

/* On Windows every function is __stdcall and imported from the DLL; both are
 * automatic for MinGW and MSVC hosts, which then link against the import
 * library (libTavrix_1417_PCI_Vusk.dll.a or Tavrix_1417_PCI_Vusk.lib). A
 * program linked with the library's static build defines TAVRIX_STATIC. */
#if defined(_WIN32)
#  define TAVRIX_CALL __stdcall
#  if defined(TAVRIX_BUILDING_LIBRARY) || defined(TAVRIX_STATIC)
#    define TAVRIX_API
#  else
#    define TAVRIX_API __declspec(dllimport)
#  endif
#else
#  define TAVRIX_CALL
#  define TAVRIX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Image geometry of every frame: row-major, 16-bit, values 0..16383. */
#define TAVRIX_IMAGE_WIDTH 3072
#define TAVRIX_IMAGE_HEIGHT 3072

/* Commands of RunforDetector. */
#define TAVRIX_RUN_ARM 1
#define TAVRIX_RUN_ACQUIRE 2
#define TAVRIX_RUN_CANCEL 3

/* 1: releases the detector object, closes the frame grabber; -1 without one. */
TAVRIX_API int32_t TAVRIX_CALL Sys_Free(void);
/* 2: fetches up to 64 serial bytes; always -1. */
TAVRIX_API int32_t TAVRIX_CALL CheckSwitch(void);
/* 3: selects panel 0 or 1 and returns it; other values keep and return the
 *    panel selected before; -1 without a detector. */
TAVRIX_API int32_t TAVRIX_CALL PanelSelect(int32_t panel);
/* 4: 1 arm, 2 acquire and correct one frame, 3 cancel: returns 1 or 0;
 *    without a detector returns the command unchanged. An acquisition waits
 *    up to 30 seconds for a stale frame report to clear and then up to 30
 *    seconds for the frame; when either wait runs out it returns 0. */
TAVRIX_API int32_t TAVRIX_CALL RunforDetector(int32_t command);
/* 5: loads a 3073 x 3073 byte pixel map; panelSelector 0 = panel 0, any other
 *    value = panel 1. 1 loaded; 0 for a null path, a file that cannot be
 *    opened or one shorter than the map (the map is then unchanged), and for
 *    a read error part-way through (the rows read before it are then loaded);
 *    -1 without a detector. */
TAVRIX_API int32_t TAVRIX_CALL LoadPixelMap(const char *path, int32_t panelSelector);
/* 6: the same for a 3072 x 3072 float gain map (little-endian IEEE 754). */
TAVRIX_API int32_t TAVRIX_CALL LoadGainMap(const char *path, int32_t panelSelector);
/* 7: address of the library-owned image buffer (3072 x 3072 16-bit pixels of
 *    the last corrected frame); null without a detector. Do not free it or use
 *    it after Sys_Free. */
TAVRIX_API uint16_t *TAVRIX_CALL SaveRawImage(void);
/* 8: creates the detector object: 1 created; -1 one exists already; 0 the
 *    memory for it could not be had (nothing is left allocated). */
TAVRIX_API int32_t TAVRIX_CALL Sys_Allocation_1417(void);
/* 9: 1 when the frame grabber opened at creation, else 0; -1 without one. */
TAVRIX_API int32_t TAVRIX_CALL CheckFrameGrabber(void);
/* 10: last decoded panel temperature (-132..123); -1 without a detector. */
TAVRIX_API int32_t TAVRIX_CALL GetTemperature(void);
/* 11: meaning of message byte `position` (0..63): 0 none, 1..3 switch code;
 *     visiting a temperature frame updates the temperature. 0 for positions
 *     outside the message and without a detector. */
TAVRIX_API int32_t TAVRIX_CALL GetSwitchMsg(int32_t position);
/* 12: drains the serial channel in 100 polls; always -1. */
TAVRIX_API int32_t TAVRIX_CALL Init_Comm(void);
/* 13: enhances `source` (smoothed in place) into `destination`, both
 *     3072 x 3072 16-bit images. levels above 5 run 5; a negative levels
 *     smooths the source and leaves the log-mapped image in the destination.
 *     A strength or levels of 0, a smoothingRadius outside 1..3 or a
 *     smoothingDecay outside 1..30 (tenths) leaves both images untouched.
 *     1 done (also when untouched); 0 for a null image; -1 without a
 *     detector. */
TAVRIX_API int32_t TAVRIX_CALL Enhancement(uint16_t *source, uint16_t *destination,
                                           int32_t levels, int32_t strength,
                                           int32_t smoothingRadius, int32_t smoothingDecay);
/* 14: length of one serial message, 64; -1 without a detector. */
TAVRIX_API int32_t TAVRIX_CALL GetMsgLength(void);

#ifdef __cplusplus
}
#endif

#endif
