/* Functions of the frame-grabber module PCI_FRM01 ("PCI_FRM01.dll",
 * libPCI_FRM01.so on Linux) that the detector library calls. C calling
 * convention; every function returns a 32-bit integer. */
#ifndef PCI_FRM01_H
#define PCI_FRM01_H

#include <stdint.h>

#if defined(_WIN32)
#  define PCI_FRM01_CALL __cdecl
#  if defined(PCI_FRM01_BUILDING)
#    define PCI_FRM01_API __declspec(dllexport)
#  else
#    define PCI_FRM01_API __declspec(dllimport)
#  endif
#else
#  define PCI_FRM01_CALL
#  define PCI_FRM01_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* -1: no device; any other value: opened. */
PCI_FRM01_API int32_t PCI_FRM01_CALL OpenDAQDevice(void);
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Init(void);
PCI_FRM01_API int32_t PCI_FRM01_CALL UART_Init(void);
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_SetModel(int32_t model);
/* Starts the transfer of one frame. */
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Start(void);
/* 0: no frame ready; nonzero: a frame is ready. */
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Check(void);
/* Copies one raw frame of *byteCount bytes into buffer. */
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_GetFrame(int32_t *byteCount, void *buffer);
/* Stores up to *length received serial bytes from the start of buffer. */
PCI_FRM01_API int32_t PCI_FRM01_CALL UART_GetData(int32_t *length, void *buffer);
PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Close(void);
PCI_FRM01_API int32_t PCI_FRM01_CALL UART_Close(void);
PCI_FRM01_API int32_t PCI_FRM01_CALL CloseDAQDevice(void);

#ifdef __cplusplus
}
#endif

#endif
