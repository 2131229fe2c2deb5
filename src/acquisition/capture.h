#pragma once

#include <cstdint>

namespace tavrix {

// One frame from the grabber into `rawFrame` (kRawFrameBytes): starts the
// transfer, waits for the ready report to clear and then to be set, and
// fetches the frame. False, with `rawFrame` untouched, when either wait
// times out.
bool CaptureRawFrame(uint8_t* rawFrame);

}  // namespace tavrix
