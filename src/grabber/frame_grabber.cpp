#include "grabber/frame_grabber.h"

#include "detector/detector.h"
#include "grabber/pci_frm01.h"

namespace tavrix {

void Detector::OpenFrameGrabber() {
  const int32_t handle = OpenDAQDevice();
  LVDS_Init();
  UART_Init();
  LVDS_SetModel(kFrameGrabberModel);
  if (handle == kNoDevice) {
    grabberOpen = 0;
  } else {
    grabberOpen = 1;
    LVDS_Start();
  }
}

void Detector::CloseFrameGrabber() {
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
