// Fixed geometry of the panel and of the buffers the detector owns.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

constexpr int32_t kImageWidth = 3072;
constexpr int32_t kImageHeight = 3072;
// Pixel maps carry one extra column (row flags) and one extra row (column flags).
constexpr int32_t kMapWidth = kImageWidth + 1;
constexpr int32_t kMapHeight = kImageHeight + 1;

constexpr size_t kImagePixels = size_t(kImageWidth) * kImageHeight;
constexpr size_t kPixelMapBytes = size_t(kMapWidth) * kMapHeight;
constexpr size_t kGainMapBytes = kImagePixels * sizeof(float);

// The raw-frame buffer is larger than the frame the grabber delivers into it.
constexpr size_t kRawFrameBufferBytes = 21000000;
constexpr size_t kRxBufferBytes = 1024;
constexpr int32_t kMessageLength = 64;

constexpr int32_t kPanelCount = 2;

}  // namespace tavrix
