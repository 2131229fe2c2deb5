#include "detector/detector.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavrix {
namespace {

constexpr int32_t kNotLoaded = 0;
constexpr int32_t kLoaded = 1;

// A calibration file, checked and read through one handle: what is checked is
// what is read, so a path swapped between a look and the opening cannot make
// a loader wait on a named pipe or read something else. Only a regular file
// holding at least `requiredBytes` opens: loading part of a map would
// silently mix two calibrations into every later image.
class CalibrationFile {
 public:
  CalibrationFile(const char* path, uint64_t requiredBytes);
  ~CalibrationFile();
  CalibrationFile(const CalibrationFile&) = delete;
  CalibrationFile& operator=(const CalibrationFile&) = delete;

  bool IsOpen() const;
  // Reads exactly `bytes`, or reports false.
  bool Read(void* into, size_t bytes);

 private:
#if defined(_WIN32)
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int descriptor_ = -1;
#endif
};

#if defined(_WIN32)

CalibrationFile::CalibrationFile(const char* path, uint64_t requiredBytes) {
  if (path == nullptr) return;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size;
  if (GetFileType(handle_) != FILE_TYPE_DISK || !GetFileSizeEx(handle_, &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) < requiredBytes) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
}

CalibrationFile::~CalibrationFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool CalibrationFile::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

bool CalibrationFile::Read(void* into, size_t bytes) {
  auto* cursor = static_cast<char*>(into);
  while (bytes > 0) {
    DWORD got = 0;
    const DWORD want = bytes > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes);
    if (!ReadFile(handle_, cursor, want, &got, nullptr) || got == 0) return false;
    cursor += got;
    bytes -= got;
  }
  return true;
}

#else

CalibrationFile::CalibrationFile(const char* path, uint64_t requiredBytes) {
  if (path == nullptr) return;
  // Without O_NONBLOCK, opening a named pipe waits for a writer.
  descriptor_ = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor_ < 0) return;
  struct stat info;
  if (fstat(descriptor_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<uint64_t>(info.st_size) < requiredBytes) {
    close(descriptor_);
    descriptor_ = -1;
  }
}

CalibrationFile::~CalibrationFile() {
  if (descriptor_ >= 0) close(descriptor_);
}

bool CalibrationFile::IsOpen() const { return descriptor_ >= 0; }

bool CalibrationFile::Read(void* into, size_t bytes) {
  auto* cursor = static_cast<char*>(into);
  while (bytes > 0) {
    const ssize_t got = read(descriptor_, cursor, bytes);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    cursor += got;
    bytes -= static_cast<size_t>(got);
  }
  return true;
}

#endif

template <class T>
int32_t LoadRows(const char* path, T** map, int32_t rows, int32_t columns) {
  CalibrationFile file(path, uint64_t(rows) * uint64_t(columns) * sizeof(T));
  if (!file.IsOpen()) return kNotLoaded;
  // A read error part-way leaves the rows read before it loaded.
  for (int32_t r = 0; r < rows; ++r)
    if (!file.Read(map[r], size_t(columns) * sizeof(T))) return kNotLoaded;
  return kLoaded;
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
