// The two calibration map files, read whole with their sizes checked before
// anything is loaded into a detector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrix_tool {

constexpr int32_t kPixelMapSide = 3073;  // one code per pixel, plus the flags
constexpr size_t kPixelMapFileBytes = size_t(kPixelMapSide) * kPixelMapSide;
constexpr int32_t kGainMapSide = 3072;
constexpr size_t kGainMapFileBytes = size_t(kGainMapSide) * kGainMapSide * sizeof(float);

// Throws Failure naming the file when it cannot be read or its size is not
// exactly the map's.
std::vector<uint8_t> ReadPixelMapFile(const std::string& path);
std::vector<float> ReadGainMapFile(const std::string& path);
// The same into `into`, which holds the map's bytes.
void ReadPixelMapFile(const std::string& path, void* into);
void ReadGainMapFile(const std::string& path, void* into);

// Hex SHA-256 of a file's bytes (Failure when unreadable), and of bytes in memory.
std::string FileSha256(const std::string& path);
std::string Sha256(const void* bytes, size_t count);

}  // namespace tavrix_tool
