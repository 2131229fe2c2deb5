#include "grabber/frame_grabber.h"

#include "grabber/pci_frm01.h"

namespace tavrix {

bool OpenFrameGrabber() {
  const int32_t handle = OpenDAQDevice();
  LVDS_Init();
  UART_Init();
  LVDS_SetModel(kFrameGrabberModel);
  if (handle == kNoDevice) return false;
  LVDS_Start();
  return true;
}

void CloseFrameGrabber() {
  LVDS_Close();
  UART_Close();
  CloseDAQDevice();
}

void StartFrameTransfer() { LVDS_Start(); }

bool IsFrameReady() { return LVDS_Check() != 0; }

void FetchRawFrame(uint8_t* rawFrame) {
  int32_t byteCount = kRawFrameBytes;
  LVDS_GetFrame(&byteCount, rawFrame);
}

void FetchSerialBytes(uint8_t* buffer, int32_t length) {
  int32_t count = length;
  UART_GetData(&count, buffer);
}

}  // namespace tavrix
