// The two calibration map files: read whole with their sizes checked before
// anything is loaded into a detector, and written whole under a temporary
// name. Their sizes are the library's (tavrix::kPixelMapBytes, kGainMapBytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tavrix_internal.h"

namespace tavrix_tool {

// Throws Failure naming the file when it cannot be read or its size is not
// exactly the map's.
std::vector<uint8_t> ReadPixelMapFile(const std::string& path);
std::vector<float> ReadGainMapFile(const std::string& path);
// Both of a panel's maps into `maps`.
void ReadPanelMaps(const std::string& pixelMapPath, const std::string& gainMapPath, tavrix::internal::PanelMaps& maps);

// Gains where the image carries data that are not finite and positive: the
// correction makes such pixels black or undefined. Beyond this share of the
// data area the map is refused (a broken or foreign file, not a calibration).
constexpr double kMaxBadGainShare = 0.001;
constexpr const char* kAcceptBadGainsOption = "--accept-bad-gains";
struct GainCensus {
  size_t notFinite = 0, notPositive = 0, dataPixels = 0;
  size_t Bad() const { return notFinite + notPositive; }
};
GainCensus CountBadGains(const float* gains);
// Failure naming `path` with the counts when the share is exceeded.
void RequireUsableGains(const std::string& path, const float* gains);

// Failure naming the file when it cannot be written; the gain map is written
// little-endian whatever the host.
void WritePixelMapFile(const std::string& path, bool overwrite, const uint8_t* map);
void WriteGainMapFile(const std::string& path, bool overwrite, const float* gains);

// Hex SHA-256 of a file's bytes (Failure when unreadable), and of bytes in memory.
std::string FileSha256(const std::string& path);
std::string Sha256(const void* bytes, size_t count);

}  // namespace tavrix_tool
