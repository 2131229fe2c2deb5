#include <cstdio>
#include <sys/stat.h>

#include "detector/detector.h"

namespace tavrix {
namespace {

constexpr int32_t kNotLoaded = 0;
constexpr int32_t kLoaded = 1;

// Opens a calibration file only when it is a regular file holding at least
// `requiredBytes`: loading part of a map would silently mix two calibrations
// into every later image.
std::FILE* OpenCalibrationFile(const char* path, size_t requiredBytes) {
  if (path == nullptr) return nullptr;
  // Looked at before opening: opening a named pipe waits for a writer.
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<unsigned long long>(info.st_size) < requiredBytes) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

template <class T>
int32_t LoadRows(const char* path, T** map, int32_t rows, int32_t columns) {
  std::FILE* file = OpenCalibrationFile(path, size_t(rows) * size_t(columns) * sizeof(T));
  if (file == nullptr) return kNotLoaded;
  bool complete = true;
  for (int32_t r = 0; r < rows && complete; ++r)
    complete = std::fread(map[r], sizeof(T), size_t(columns), file) == size_t(columns);
  std::fclose(file);
  return complete ? kLoaded : kNotLoaded;
}

}  // namespace

void Detector::ResetPixelMap(uint8_t** map) {
  // The whole map, flags included: an unloaded map marks nothing defective.
  for (int32_t r = 0; r < mapHeight; ++r)
    for (int32_t x = 0; x < mapWidth; ++x) map[r][x] = 0;
}

void Detector::ResetGainMap(float** map) {
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) map[r][x] = 1.0f;
}

int32_t Detector::LoadPixelMap(const char* path, int32_t panelSelector) {
  uint8_t** map = pixelMaps[panelSelector == 0 ? 0 : 1];
  return LoadRows(path, map, mapHeight, mapWidth);
}

int32_t Detector::LoadGainMap(const char* path, int32_t panelSelector) {
  float** map = gainMaps[panelSelector == 0 ? 0 : 1];
  return LoadRows(path, map, height, width);
}

}  // namespace tavrix
