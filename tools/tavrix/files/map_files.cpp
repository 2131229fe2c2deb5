#include "files/map_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command_line.h"
#include "files/input_files.h"
#include "files/output_files.h"
#include "system/sha256.h"

namespace tavrix_tool {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenForReading(const std::string& path) { return OpenRegularFile(path); }

// The whole file into `into`; it must hold exactly `expected` bytes.
void ReadExactlyInto(const std::string& path, void* into, size_t expected, const char* what) {
  File file = OpenForReading(path);
  const size_t got = std::fread(into, 1, expected, file.get());
  size_t total = got;
  char extra[4096];
  size_t more;
  while ((more = std::fread(extra, 1, sizeof extra, file.get())) > 0) total += more;
  if (std::ferror(file.get())) throw Failure(path + ": " + std::strerror(errno));
  if (total != expected)
    throw Failure(path + ": " + std::to_string(total) + " bytes, a " + what + " holds " + std::to_string(expected));
}

template <class T>
std::vector<T> ReadExactly(const std::string& path, size_t expected, const char* what) {
  std::vector<T> values(expected / sizeof(T));
  ReadExactlyInto(path, values.data(), expected, what);
  return values;
}

}  // namespace

std::vector<uint8_t> ReadPixelMapFile(const std::string& path) {
  return ReadExactly<uint8_t>(path, tavrix::kPixelMapBytes, "pixel map");
}

std::vector<float> ReadGainMapFile(const std::string& path) {
  return ReadExactly<float>(path, tavrix::kGainMapBytes, "gain map");
}

void ReadPanelMaps(const std::string& pixelMapPath, const std::string& gainMapPath, tavrix::internal::PanelMaps& maps) {
  ReadExactlyInto(pixelMapPath, maps.PixelMap(), tavrix::kPixelMapBytes, "pixel map");
  ReadExactlyInto(gainMapPath, maps.GainMap(), tavrix::kGainMapBytes, "gain map");
}

GainCensus CountBadGains(const float* gains) {
  GainCensus census;
  for (int32_t r = 0; r < tavrix::kImageHeight; ++r)
    for (int32_t c = 0; c < tavrix::kImageWidth; ++c) {
      if (!tavrix::internal::InDataArea(r, c)) continue;
      ++census.dataPixels;
      const float g = gains[size_t(r) * size_t(tavrix::kImageWidth) + size_t(c)];
      if (!std::isfinite(g)) {
        ++census.notFinite;
      } else if (g <= 0.0f) {
        ++census.notPositive;
      }
    }
  return census;
}

void RequireUsableGains(const std::string& path, const float* gains) {
  const GainCensus census = CountBadGains(gains);
  if (double(census.Bad()) <= kMaxBadGainShare * double(census.dataPixels)) return;
  char shares[64];
  std::snprintf(shares, sizeof shares, "%.1f %%; at most %g %% is taken",
                100.0 * double(census.Bad()) / double(census.dataPixels), 100.0 * kMaxBadGainShare);
  throw Failure(path + ": " + std::to_string(census.notFinite) + " gains not finite and " +
                std::to_string(census.notPositive) + " zero or negative among the " +
                std::to_string(census.dataPixels) + " pixels that carry data (" + shares +
                "): the images would be black there. Not a usable gain map; " + kAcceptBadGainsOption +
                " uses it all the same");
}

void WritePixelMapFile(const std::string& path, bool overwrite, const uint8_t* map) {
  WriteBytesAtomically(path, overwrite, map, tavrix::kPixelMapBytes);
}

void WriteGainMapFile(const std::string& path, bool overwrite, const float* gains) {
  std::vector<uint8_t> bytes(tavrix::kGainMapBytes);
  for (size_t i = 0; i < tavrix::kImagePixels; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &gains[i], sizeof bits);
    for (size_t b = 0; b < sizeof bits; ++b) bytes[i * sizeof bits + b] = uint8_t(bits >> (8 * b));
  }
  WriteBytesAtomically(path, overwrite, bytes.data(), bytes.size());
}

std::string FileSha256(const std::string& path) {
  File file = OpenForReading(path);
  Sha256Digest digest;
  std::vector<unsigned char> buffer(1 << 20);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) digest.Update(buffer.data(), got);
  if (std::ferror(file.get())) throw Failure(path + ": " + std::strerror(errno));
  return digest.Hex();
}

std::string Sha256(const void* bytes, size_t count) {
  Sha256Digest digest;
  digest.Update(bytes, count);
  return digest.Hex();
}

}  // namespace tavrix_tool
