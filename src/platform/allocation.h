// Buffers are allocated without exceptions so that creation can notice a
// failed allocation, release what it has and report it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

// The image-sized steps walk many rows or raw lines at once, and with small
// pages each of them costs its own address translation. Where the system
// offers large pages on request (Linux), an image-sized block asks for them
// before its first touch; the whole large pages inside it get them, and a
// refusal changes nothing but speed. Small tables keep small pages: asking
// for theirs too made creation half again as long and no step faster.
constexpr size_t kLargePageBytes = size_t(2) << 20;

inline void PreferLargePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes < kLargePageBytes) return;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kPageBytes - 1) / kPageBytes * kPageBytes;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) / kPageBytes * kPageBytes;
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

template <class T>
T* AllocateArray(size_t count) {
  T* array = new (std::nothrow) T[count];
  if (array != nullptr) {
    PreferLargePages(array, count * sizeof(T));
    TouchPages(array, count * sizeof(T));
  }
  return array;
}

template <class T>
void ReleaseArray(T*& array) {
  delete[] array;
  array = nullptr;
}

}  // namespace tavrix
