// Buffers are allocated without exceptions so that creation can notice a
// failed allocation, release what it has and report it.
#pragma once

#include <cstddef>
#include <new>

namespace tavrix {

// The system maps a new block page by page on first touch. Touched here, at
// creation, every page is resident before the first exposure, so the first
// acquisition and enhancement of the day run as fast as every later one.
constexpr size_t kPageBytes = 4096;

inline void TouchPages(void* block, size_t bytes) {
  volatile unsigned char* bytesOfBlock = static_cast<volatile unsigned char*>(block);
  for (size_t offset = 0; offset < bytes; offset += kPageBytes) bytesOfBlock[offset] = 0;
  // A block need not start on a page: its last page may lie past the steps.
  if (bytes > 0) bytesOfBlock[bytes - 1] = 0;
}

template <class T>
T* AllocateArray(size_t count) {
  T* array = new (std::nothrow) T[count];
  if (array != nullptr) TouchPages(array, count * sizeof(T));
  return array;
}

template <class T>
void ReleaseArray(T*& array) {
  delete[] array;
  array = nullptr;
}

}  // namespace tavrix
