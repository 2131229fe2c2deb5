// Zeros written with streaming stores: the old lines of a large block are
// not read into the cache first, which halves the cost of clearing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

// Clears bytes from block on, then orders the stores.
void ClearStreaming(void* block, size_t bytes);

// Clears rowBytes from each of `rows` rows stride bytes apart, then orders the stores.
void ClearStreamingRows(void* first, size_t rowBytes, ptrdiff_t stride, size_t rows);

}  // namespace tavrix
