// Fixed geometry of the panel and of the buffers the detector owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// The raw-frame buffer is larger than the frame the grabber delivers into it.
constexpr size_t kRawFrameBufferBytes = 21000000;
constexpr size_t kRxBufferBytes = 1024;
constexpr int32_t kMessageLength = 64;

constexpr int32_t kPanelCount = 2;

}  // namespace tavrix
