#include "platform/streaming_clear.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "platform/instruction_set.h"

namespace tavrix {
namespace {

// Whole cache lines are streamed; the ragged ends are cleared as usual.
void StreamZeros(uint8_t* bytes, size_t size) {
  constexpr size_t kLine = kCacheLineBytes;
  const size_t head = std::min(size, (kLine - reinterpret_cast<uintptr_t>(bytes) % kLine) % kLine);
  std::memset(bytes, 0, head);
  bytes += head;
  size -= head;
  const __m128i zero = _mm_setzero_si128();
  for (; size >= kLine; bytes += kLine, size -= kLine)
    for (size_t part = 0; part < kLine; part += sizeof(__m128i))
      _mm_stream_si128(reinterpret_cast<__m128i*>(bytes + part), zero);
  std::memset(bytes, 0, size);
}

}  // namespace

void ClearStreaming(void* block, size_t bytes) {
  StreamZeros(static_cast<uint8_t*>(block), bytes);
  _mm_sfence();
}

void ClearStreamingRows(void* first, size_t rowBytes, ptrdiff_t stride, size_t rows) {
  uint8_t* row = static_cast<uint8_t*>(first);
  for (size_t r = 0; r < rows; ++r, row += stride) StreamZeros(row, rowBytes);
  _mm_sfence();
}

}  // namespace tavrix
