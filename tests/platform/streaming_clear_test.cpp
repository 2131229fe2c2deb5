#include "platform/streaming_clear.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tavrix {
namespace {

constexpr uint8_t kUntouched = 0xAB;

// Every start within a cache line and lengths around whole lines: the zeros
// reach exactly the requested bytes, streamed middle and ragged ends alike.
TEST(ClearStreaming, ClearsExactlyTheRequestedBytesAtEveryAlignment) {
  for (size_t offset = 0; offset < 64; ++offset) {
    for (size_t length : {0, 1, 15, 63, 64, 65, 128, 200, 1000}) {
      std::vector<uint8_t> buffer(1200 + 128, kUntouched);
      uint8_t* base = buffer.data() + (64 - reinterpret_cast<uintptr_t>(buffer.data()) % 64) % 64;
      ClearStreaming(base + offset, length);
      for (size_t i = 0; i < 1200; ++i) {
        const bool inside = i >= offset && i < offset + length;
        ASSERT_EQ(base[i], inside ? 0 : kUntouched) << "offset " << offset << ", length " << length << ", byte " << i;
      }
    }
  }
}

// A band of columns down the rows of an image: the columns beside it keep
// their values.
TEST(ClearStreaming, RowsClearOnlyTheirBand) {
  constexpr ptrdiff_t kStride = 6144 + 2;  // rows need not start on a cache line
  constexpr size_t kRows = 9;
  for (size_t first : {0, 2, 2560, 3000}) {
    for (size_t band : {2, 1024, 3100}) {
      std::vector<uint8_t> image(kStride * kRows, kUntouched);
      ClearStreamingRows(image.data() + first, band, kStride, kRows - 1);
      for (size_t r = 0; r < kRows; ++r)
        for (size_t c = 0; c < size_t(kStride); ++c) {
          const bool inside = r + 1 < kRows && c >= first && c < first + band;
          ASSERT_EQ(image[r * kStride + c], inside ? 0 : kUntouched)
              << "first " << first << ", band " << band << ", row " << r << ", byte " << c;
        }
    }
  }
}

}  // namespace
}  // namespace tavrix
