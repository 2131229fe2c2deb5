// Raw-frame files: whole frames of tavrix::kRawFrameBytes one after another,
// as the frame grabber delivers them; one reader and one writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrix_tool {

// Frames in each raw-frame file; Failure naming the file when its size is
// not a whole number of frames (checked before anything is written).
std::vector<uint64_t> RawFrameCounts(const std::vector<std::string>& files);

// Reads the first counts[f] frames of each file f in turn and hands each to
// `use` with its file and its index there; stops when `use` returns false.
// Failure naming the file when a frame cannot be read.
using RawFrameUse = std::function<bool(const std::string& file, uint64_t index, const uint8_t* frame)>;
void ReadRawFrames(const std::vector<std::string>& files, const std::vector<uint64_t>& counts, const RawFrameUse& use);

// Read-out pixels above the panel's 14 bits (tavrix::kMaxPixelValue) cannot
// come from the panel: beyond this share of the pixels that carry data, a
// frame is refused (byte-swapped words, or another device's frames).
constexpr double kMaxOverRangeShare = 0.001;
// Failure naming the file and frame, with the count and the likely cause,
// when `image` (one frame read out) holds more such pixels than that.
void RequirePanelRange(const std::string& file, uint64_t index, const uint16_t* image);

// Writes `frames` frames as the file `path` (under a temporary name first).
// `next` fills each frame in turn, or returns why it could not.
using RawFrameFiller = std::function<std::string(uint8_t* frame)>;
void WriteRawFrames(const std::string& path, bool overwrite, int frames, const RawFrameFiller& next);

}  // namespace tavrix_tool
