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

bool FetchRawFrame(uint8_t* rawFrame) {
  int32_t byteCount = kRawFrameBytes;
  // A card may answer success with 0 or with the count; either way it leaves
  // the count at the full frame. A shorter count means a torn frame.
  const int32_t result = LVDS_GetFrame(&byteCount, rawFrame);
  return result >= 0 && byteCount == kRawFrameBytes;
}

void FetchSerialBytes(uint8_t* buffer, int32_t length) {
  int32_t count = length;
  UART_GetData(&count, buffer);
}

}  // namespace tavrix
