// The vector half of the fast impulse filter: for a run of pixels of one row,
// marks those that may lie outside their window's band as the image holds it
// now. Unmarked pixels certainly lie inside; marked ones go to the exact test.
#pragma once

#include <cstdint>

namespace tavrix {

// Pixels marked in one call; their column sums live on the stack.
constexpr int32_t kImpulseMarkRun = 512;

// Marks pixels (y, first) .. (y, first + count - 1): marks[i] is nonzero where
// pixel first + i needs the exact test. Needs lanes <= count <= kImpulseMarkRun
// and every window inside the image.
using ImpulseMarkFunction = void (*)(const uint16_t* image, int32_t width, int32_t y, int32_t first,
                                     int32_t count, uint8_t* marks);

void MarkImpulseCandidatesSse2(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                               uint8_t* marks);
void MarkImpulseCandidatesAvx2(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                               uint8_t* marks);
void MarkImpulseCandidatesAvx512(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                                 uint8_t* marks);

// Pixels each path handles at once; a call marks at least this many.
constexpr int32_t kImpulseLanesSse2 = 8;
constexpr int32_t kImpulseLanesAvx2 = 16;
constexpr int32_t kImpulseLanesAvx512 = 32;

}  // namespace tavrix
