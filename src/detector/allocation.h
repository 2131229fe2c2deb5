// Buffers are allocated without exceptions so that creation can notice a
// failed allocation, release what it has and report it.
#pragma once

#include <cstddef>
#include <new>

namespace tavrix {

template <class T>
T* AllocateArray(size_t count) {
  return new (std::nothrow) T[count];
}

template <class T>
void ReleaseArray(T*& array) {
  delete[] array;
  array = nullptr;
}

}  // namespace tavrix
