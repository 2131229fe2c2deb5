#pragma once

#include <cstdint>

namespace tavrix {

// One frame from the grabber into `rawFrame` (kRawFrameBytes): starts the
// transfer, waits for the ready report to clear and then to be set, and
// fetches the frame. False when either wait times out (`rawFrame` untouched)
// or the card reports the fetch failed or incomplete (`rawFrame` unusable).
bool CaptureRawFrame(uint8_t* rawFrame);

}  // namespace tavrix
