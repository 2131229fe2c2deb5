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

// Writes `frames` frames as the file `path` (under a temporary name first).
// `next` fills each frame in turn, or returns why it could not.
using RawFrameFiller = std::function<std::string(uint8_t* frame)>;
void WriteRawFrames(const std::string& path, bool overwrite, int frames, const RawFrameFiller& next);

}  // namespace tavrix_tool
