// The only code that calls the frame-grabber module. Everything else reaches
// the card through these few functions.
#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

constexpr int32_t kFrameGrabberModel = 1;
constexpr int32_t kNoDevice = -1;

// Opens the device and sets up both channels; true when a device opened, and
// then its first frame transfer is already started. Either way the module
// must be closed again.
bool OpenFrameGrabber();
void CloseFrameGrabber();

void StartFrameTransfer();
bool IsFrameReady();
// True when the card reports the whole frame delivered: a result that is not
// negative and the count it leaves equal to the bytes asked for.
bool FetchRawFrame(uint8_t* rawFrame);
// Fetches up to `length` received serial bytes into the start of `buffer`.
void FetchSerialBytes(uint8_t* buffer, int32_t length);

}  // namespace tavrix
