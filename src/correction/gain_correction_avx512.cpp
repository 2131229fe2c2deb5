// Sixteen pixels at a time, eight double products per instruction; see
// gain_correction_fast.cpp. No shared inline function is called here, so
// none is compiled with AVX-512.
// GCC 12 warns about the deliberately undefined vectors inside its own
// AVX-512 conversion intrinsics.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC-only warning
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstdint>

#include "correction/gain_correction.h"
#include "platform/pixel_rules.h"

namespace tavrix {

void ApplyGainRowAvx512(uint16_t* row, const float* gains, int32_t first, int32_t end) {
  constexpr int32_t kLanes = 16;
  const __m512d low = _mm512_setzero_pd();
  const __m512d high = _mm512_set1_pd(double(kMaxPixelValue));
  auto product = [&](__m256i pixels32, const float* g) {
    const __m512d x = _mm512_mul_pd(_mm512_cvtepi32_pd(pixels32), _mm512_cvtps_pd(_mm256_loadu_ps(g)));
    return _mm512_cvttpd_epi32(_mm512_min_pd(_mm512_max_pd(x, low), high));
  };
  int32_t c = first;
  for (; c + kLanes <= end; c += kLanes) {
    const __m512i pixels = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + c)));
    const __m256i a = product(_mm512_castsi512_si256(pixels), gains + c);
    const __m256i b = product(_mm512_extracti64x4_epi64(pixels, 1), gains + c + 8);
    const __m512i both = _mm512_inserti64x4(_mm512_castsi256_si512(a), b, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + c), _mm512_cvtepi32_epi16(both));
  }
  if (c < end) ApplyGainRowSse2(row, gains, c, end);
}

}  // namespace tavrix
