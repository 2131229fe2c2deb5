#include "files/map_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command_line.h"
#include "files/native_paths.h"
#include "files/output_files.h"
#include "files/sha256.h"

namespace tavrix_tool {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenForReading(const std::string& path) {
  File file(OpenFile(path, "rb"), std::fclose);
  if (!file) throw Failure(path + ": " + std::strerror(errno));
  return file;
}

// The whole file into `into`; it must hold exactly `expected` bytes.
void ReadExactlyInto(const std::string& path, void* into, size_t expected, const char* what) {
  File file = OpenForReading(path);
  const size_t got = std::fread(into, 1, expected, file.get());
  size_t total = got;
  char extra[4096];
  size_t more;
  while ((more = std::fread(extra, 1, sizeof extra, file.get())) > 0) total += more;
  if (std::ferror(file.get())) throw Failure(path + ": read error");
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
  if (std::ferror(file.get())) throw Failure(path + ": read error");
  return digest.Hex();
}

std::string Sha256(const void* bytes, size_t count) {
  Sha256Digest digest;
  digest.Update(bytes, count);
  return digest.Hex();
}

}  // namespace tavrix_tool
