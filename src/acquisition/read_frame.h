#pragma once

#include <cstdint>

namespace tavrix {

// Rearranges one raw frame (four quadrant runs per raw line) into the image:
// columns 0..1279 and width-1279..width-1 of every row, words copied
// unchanged. The middle columns are not written. Gives the result of
// UnscrambleFramePlain.
void UnscrambleFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);

// The whole readout of one raw frame: UnscrambleFrame, then
// ClearDatalessColumns.
void ReadOutFrame(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);

// The same, one word at a time: the reference for the fast version.
void UnscrambleFramePlain(const uint8_t* rawFrame, uint16_t* image, int32_t width, int32_t height);

// The inverse of the readout: the raw frame (all of kRawFrameBytes) that
// reads out as `image`; words the readout does not read are 0. For replay
// files.
void ScrambleFrame(const uint16_t* image, uint8_t* rawFrame, int32_t width, int32_t height);

// Sets the middle columns, which get no data, to 0. The last image's repairs
// may have written there, and repairs next to them read them: cleared, every
// image depends on its own frame and the selected panel's maps only, as the
// first image after creation does.
void ClearDatalessColumns(uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
