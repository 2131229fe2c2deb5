// The vectors of the per-target kernel sources (*_simd.cpp). Each of them is
// compiled once per target, with TAVRIX_TARGET naming that target's namespace
// (baseline, avx2, avx512) and only those objects get the wider flags.
// Everything here lives in the target's namespace and has internal linkage,
// so no code built for a wider target can stand in for the baseline's.
//
// Two kinds of vector: generic vectors of N lanes for the floating-point
// steps, every lane doing exactly the operations of the plain code on its own
// pixel, in the same order and precision; and the target's own integer
// registers, through a few operations (saturating, packing, masks,
// interleaves) that generic vectors do not offer.
#pragma once

#if !defined(TAVRIX_TARGET)
#error "platform/simd.h is only for the per-target kernel sources"
#endif

#if defined(__AVX512F__)
// This compiler's own 512-bit intrinsics pass deliberately undefined merge
// operands, which it then reports.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC-only warning
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__AVX512DQ__)
#define TAVRIX_SIMD_AVX512 1
constexpr int32_t kVectorBytes = 64;
#elif defined(__AVX2__)
#define TAVRIX_SIMD_AVX2 1
constexpr int32_t kVectorBytes = 32;
#else
constexpr int32_t kVectorBytes = 16;
#endif

// Registers a kernel may keep values in: a 32-bit process names only eight,
// whatever the width, and kernels that keep more in flight spill them.
#if defined(__x86_64__)
constexpr int32_t kVectorRegisters = kVectorBytes == 64 ? 32 : 16;
#else
constexpr int32_t kVectorRegisters = 8;
#endif
constexpr bool kFewVectorRegisters = kVectorRegisters <= 8;

// For the small helpers of a kernel that must melt into it: called with
// arrays of registers, they would otherwise pass them through memory.
#define TAVRIX_KERNEL_INLINE inline __attribute__((always_inline))

// Holds each of the registers in a register at this point: the compiler
// would otherwise fold each one's chain of dependent operations into a single
// expression and work the chains out one after another, each waiting on the
// one before. The registers must fit.
template <class V, int K>
TAVRIX_KERNEL_INLINE void HoldInRegisters(V (&v)[K]) {
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
#if defined(TAVRIX_SIMD_AVX512)
    __asm__("" : "+v"(v[k]));
#else
    __asm__("" : "+x"(v[k]));
#endif
  }
}

// std::min and std::max would be instantiated here with the target's flags
// and external linkage, and a debug build could link that copy into code
// that runs on any processor.
constexpr int32_t Smaller(int32_t a, int32_t b) { return b < a ? b : a; }
constexpr int32_t Larger(int32_t a, int32_t b) { return a < b ? b : a; }

// Lanes of one register.
constexpr int32_t kDoubleLanes = kVectorBytes / 8;
constexpr int32_t kIntLanes = kVectorBytes / 4;
constexpr int32_t kWordLanes = kVectorBytes / 2;
// 128-bit blocks of one register: interleaves work within each.
constexpr int32_t kBlocks = kVectorBytes / 16;

// The vector types of N lanes, spelt out per width: the compiler takes a
// vector size only from a constant it sees outside any template.
template <int N>
struct LaneTypes;

#define TAVRIX_LANE_TYPES(N)                                 \
  template <>                                                \
  struct LaneTypes<N> {                                      \
    typedef double Double __attribute__((vector_size(8 * N))); \
    typedef float Float __attribute__((vector_size(4 * N)));   \
    typedef int32_t Int __attribute__((vector_size(4 * N)));   \
    typedef int64_t Long __attribute__((vector_size(8 * N)));  \
    typedef uint16_t Sample __attribute__((vector_size(2 * N))); \
  };
TAVRIX_LANE_TYPES(2)
TAVRIX_LANE_TYPES(4)
TAVRIX_LANE_TYPES(8)
#undef TAVRIX_LANE_TYPES

template <int N>
struct Lanes {
  typedef typename LaneTypes<N>::Double Double;
  typedef typename LaneTypes<N>::Float Float;
  typedef typename LaneTypes<N>::Int Int;
  typedef typename LaneTypes<N>::Long Long;
  typedef typename LaneTypes<N>::Sample Sample;

  // Whole registers convert in one instruction each: the generic conversions
  // widen some as two halves and join them.
  static Double FromInts(Int i) {
#if defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 8) return Double(_mm512_cvtepi32_pd(__m256i(i)));
#endif
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 4) return Double(_mm256_cvtepi32_pd(__m128i(i)));
#endif
    return __builtin_convertvector(i, Double);
  }
  static Double FromFloats(Float f) {
#if defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 8) return Double(_mm512_cvtps_pd(__m256(f)));
#endif
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 4) return Double(_mm256_cvtps_pd(__m128(f)));
#endif
    return __builtin_convertvector(f, Double);
  }
  // Two lanes go through whole registers too: a 32-bit process has no 64-bit
  // vectors of its own and would work the half-register vectors out lane by
  // lane.
  // Lanes within the range of int32, truncated toward zero.
  static Double Truncated(Double v) {
    if constexpr (N == 2) return Double(_mm_cvtepi32_pd(_mm_cvttpd_epi32(__m128d(v))));
    return FromInts(__builtin_convertvector(v, Int));
  }

  static Double LoadSamples(const uint16_t* p) {
    if constexpr (N == 2) {
      int32_t pair;
      std::memcpy(&pair, p, sizeof pair);
      return Double(_mm_cvtepi32_pd(_mm_unpacklo_epi16(_mm_cvtsi32_si128(pair), _mm_setzero_si128())));
    }
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
    // Four words are a half-register vector too: in a 32-bit process the
    // generic conversion would move them word by word through the general
    // registers.
    if constexpr (N == 4)
      return Double(_mm256_cvtepi32_pd(_mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))));
#endif
    Sample s;
    std::memcpy(&s, p, sizeof s);
    // Through int32: a direct conversion would be done lane by lane.
    return FromInts(__builtin_convertvector(s, Int));
  }
  static Double LoadFloats(const float* p) {
    if constexpr (N == 2)
      return Double(_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))));
    Float f;
    std::memcpy(&f, p, sizeof f);
    return FromFloats(f);
  }
  static void StoreFloats(float* p, Double v) {
    if constexpr (N == 2) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(__m128d(v))));
      return;
    }
    const Float f = __builtin_convertvector(v, Float);
    std::memcpy(p, &f, sizeof f);
  }
  // Lanes already within 0..65535, truncated toward zero.
  static void StoreSamples(uint16_t* p, Double v) {
    if constexpr (N == 2) {
      // The low words of the two 32-bit lanes, side by side.
      const __m128i words = _mm_shufflelo_epi16(_mm_cvttpd_epi32(__m128d(v)), _MM_SHUFFLE(3, 3, 2, 0));
      const int32_t pair = _mm_cvtsi128_si32(words);
      std::memcpy(p, &pair, sizeof pair);
      return;
    }
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 4) {  // packing saturates, which lanes in range never reach
      const __m128i ints = _mm256_cvttpd_epi32(__m256d(v));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi32(ints, ints));
      return;
    }
#endif
    const Sample s = __builtin_convertvector(__builtin_convertvector(v, Int), Sample);
    std::memcpy(p, &s, sizeof s);
  }
  // Masks of comparisons: every lane all ones or all zeros. Two lanes compare
  // in the target's own instructions: the generic masks of 64-bit lanes come
  // out lane by lane without AVX.
  static Long Less(Double a, Double b) {
    if constexpr (N == 2) return Long(_mm_castpd_si128(_mm_cmplt_pd(__m128d(a), __m128d(b))));
    return a < b;
  }
  // Bit i set where lane i is.
  static uint32_t MaskBits(Long mask) {
#if defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 8) return _mm512_movepi64_mask(__m512i(mask));
#endif
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
    if constexpr (N == 4) return uint32_t(_mm256_movemask_pd(_mm256_castsi256_pd(__m256i(mask))));
#endif
    if constexpr (N == 2) return uint32_t(_mm_movemask_pd(_mm_castsi128_pd(__m128i(mask))));
    uint32_t bits = 0;
    for (int i = 0; i < N; ++i) bits |= uint32_t(mask[i] != 0) << i;
    return bits;
  }
};

// a * b + c for an approximation whose error bound holds with one rounding or
// two: fused where the target has it, in half the instructions and half the
// wait. Never for the exact steps, whose every product and sum round apart.
template <class D>
TAVRIX_KERNEL_INLINE D ApproximateMultiplyAdd(D a, D b, D c) {
#if defined(__FMA__)
  if constexpr (sizeof(D) == 16) return D(_mm_fmadd_pd(__m128d(a), __m128d(b), __m128d(c)));
  if constexpr (sizeof(D) == 32) return D(_mm256_fmadd_pd(__m256d(a), __m256d(b), __m256d(c)));
#if defined(__AVX512F__)
  if constexpr (sizeof(D) == 64) return D(_mm512_fmadd_pd(__m512d(a), __m512d(b), __m512d(c)));
#endif
#endif
  return a * b + c;
}

// The target's registers and the operations on them that generic vectors
// lack (saturating, packing, masks, interleaves) or do lane by lane. Each is
// written once: TAVRIX_MM(op) names the target's intrinsic for op, and only
// what differs in kind between the targets has a branch of its own.
#if defined(TAVRIX_SIMD_AVX512)
#define TAVRIX_MM(op) _mm512_##op
#define TAVRIX_MM_SI(op) _mm512_##op##_si512
using Words = __m512i;
using NativeDoubles = __m512d;
#elif defined(TAVRIX_SIMD_AVX2)
#define TAVRIX_MM(op) _mm256_##op
#define TAVRIX_MM_SI(op) _mm256_##op##_si256
using Words = __m256i;
using NativeDoubles = __m256d;
#else
#define TAVRIX_MM(op) _mm_##op
#define TAVRIX_MM_SI(op) _mm_##op##_si128
using Words = __m128i;
using NativeDoubles = __m128d;
#endif
// The same register as 32-bit lanes and as doubles, for the arithmetic that
// generic vectors do well.
typedef int32_t Int32 __attribute__((vector_size(kVectorBytes)));
typedef float Float32 __attribute__((vector_size(kVectorBytes)));
typedef double Float64 __attribute__((vector_size(kVectorBytes)));

inline Words LoadWords(const void* p) { return TAVRIX_MM_SI(loadu)(static_cast<const Words*>(p)); }
inline Words LoadWordsAligned(const void* p) { return TAVRIX_MM_SI(load)(static_cast<const Words*>(p)); }
inline void StoreWordsAligned(void* p, Words v) { TAVRIX_MM_SI(store)(static_cast<Words*>(p), v); }
inline void StreamWords(void* p, Words v) { TAVRIX_MM_SI(stream)(static_cast<Words*>(p), v); }
inline Words SplatWord(uint16_t w) { return TAVRIX_MM(set1_epi16)(int16_t(w)); }
inline Words AddWords(Words a, Words b) { return TAVRIX_MM(add_epi16)(a, b); }
inline Words AddSaturated(Words a, Words b) { return TAVRIX_MM(adds_epu16)(a, b); }
inline Words SubtractSaturated(Words a, Words b) { return TAVRIX_MM(subs_epu16)(a, b); }
inline Words MultiplyHigh(Words a, Words b) { return TAVRIX_MM(mulhi_epu16)(a, b); }
// 32-bit lanes within 0..65535 times k, in one instruction (each lane's low
// word, signed, times k): exact below 32768, and above it still right in the
// low 16 bits, short by 65536 k.
inline Int32 MultiplyLowWordBy(Int32 v, int16_t k) {
  return Int32(TAVRIX_MM(madd_epi16)(Words(v), TAVRIX_MM(set1_epi32)(uint16_t(k))));
}
inline Words HalveWords(Words a) { return TAVRIX_MM(srli_epi16)(a, 1); }
inline Words OrWords(Words a, Words b) { return TAVRIX_MM_SI(or)(a, b); }

// Interleaves work within each 128-bit block, on every target alike.
inline Words InterleaveLow16(Words a, Words b) { return TAVRIX_MM(unpacklo_epi16)(a, b); }
inline Words InterleaveHigh16(Words a, Words b) { return TAVRIX_MM(unpackhi_epi16)(a, b); }
inline Words InterleaveLow32(Words a, Words b) { return TAVRIX_MM(unpacklo_epi32)(a, b); }
inline Words InterleaveHigh32(Words a, Words b) { return TAVRIX_MM(unpackhi_epi32)(a, b); }
inline Words InterleaveLow64(Words a, Words b) { return TAVRIX_MM(unpacklo_epi64)(a, b); }
inline Words InterleaveHigh64(Words a, Words b) { return TAVRIX_MM(unpackhi_epi64)(a, b); }
#if defined(TAVRIX_SIMD_AVX2) || defined(TAVRIX_SIMD_AVX512)
// The same on a single 128-bit block, for a kernel that moves 8 words at a
// time whatever the target (on the baseline, Words is that block).
inline __m128i InterleaveLow16(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
inline __m128i InterleaveHigh16(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
inline __m128i InterleaveLow32(__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); }
inline __m128i InterleaveHigh32(__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); }
inline __m128i InterleaveLow64(__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); }
inline __m128i InterleaveHigh64(__m128i a, __m128i b) { return _mm_unpackhi_epi64(a, b); }
#endif

// Per 128-bit block, an 8 x 8 transpose of words: out[i] holds word i of
// every in[j], in the order of j. For Words and for single blocks (__m128i).
constexpr int32_t kTransposeWords = 8;
template <class V>
TAVRIX_KERNEL_INLINE void TransposeWordBlocks(const V in[kTransposeWords], V out[kTransposeWords]) {
  constexpr int32_t kHalf = kTransposeWords / 2;
  V a[kTransposeWords], b[kTransposeWords];
  for (int32_t i = 0; i < kTransposeWords; i += 2) {
    a[i / 2] = InterleaveLow16(in[i], in[i + 1]);
    a[kHalf + i / 2] = InterleaveHigh16(in[i], in[i + 1]);
  }
  // a[0..3]: words 0..3 of the pairs (0,1) .. (6,7); a[4..7]: words 4..7.
  for (int32_t h = 0; h < kTransposeWords; h += kHalf) {
    b[h + 0] = InterleaveLow32(a[h + 0], a[h + 1]);
    b[h + 1] = InterleaveHigh32(a[h + 0], a[h + 1]);
    b[h + 2] = InterleaveLow32(a[h + 2], a[h + 3]);
    b[h + 3] = InterleaveHigh32(a[h + 2], a[h + 3]);
  }
  // b[h + 0]: words (e, e+1) of in[0..3], b[h + 2]: of in[4..7], e = 0, 2, 4, 6.
  for (int32_t e = 0; e < kHalf; ++e) {
    const int32_t h = (e / 2) * kHalf + (e % 2);
    out[2 * e] = InterleaveLow64(b[h], b[h + 2]);
    out[2 * e + 1] = InterleaveHigh64(b[h], b[h + 2]);
  }
}

// (x > low ? x : low) < high ? that : high, lane by lane: NaN becomes low.
inline Float64 ClampDoubles(Float64 x, Float64 low, Float64 high) {
  return Float64(TAVRIX_MM(min_pd)(TAVRIX_MM(max_pd)(NativeDoubles(x), NativeDoubles(low)), NativeDoubles(high)));
}

// Block b of the register from the 16 bytes at blockAt(b).
template <class BlockAt>
Words LoadBlocks(BlockAt blockAt) {
  auto block = [&](int32_t b) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockAt(b))); };
#if defined(TAVRIX_SIMD_AVX512)
  __m512i r = _mm512_castsi128_si512(block(0));
  r = _mm512_inserti32x4(r, block(1), 1);
  r = _mm512_inserti32x4(r, block(2), 2);
  return _mm512_inserti32x4(r, block(3), 3);
#elif defined(TAVRIX_SIMD_AVX2)
  return _mm256_inserti128_si256(_mm256_castsi128_si256(block(0)), block(1), 1);
#else
  return block(0);
#endif
}

// Comparisons of words: a bit per word on AVX-512, a word of ones elsewhere.
#if defined(TAVRIX_SIMD_AVX512)
using WordMask = __mmask32;
inline WordMask EqualWords(Words a, Words b) { return _mm512_cmpeq_epi16_mask(a, b); }
inline WordMask AndNotMask(WordMask a, WordMask b) { return WordMask(~a & b); }
inline bool AllSet(WordMask m) { return m == WordMask(~WordMask(0)); }
// One byte per word: 0 where the mask is set, 0xFF where it is not.
inline void StoreUnsetAsBytes(uint8_t* p, WordMask m) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_movm_epi8(~m));
}
#else
using WordMask = Words;
inline WordMask EqualWords(Words a, Words b) { return TAVRIX_MM(cmpeq_epi16)(a, b); }
inline WordMask AndNotMask(WordMask a, WordMask b) { return TAVRIX_MM_SI(andnot)(a, b); }
inline bool AllSet(WordMask m) { return TAVRIX_MM(movemask_epi8)(m) == int32_t(uint32_t(-1) >> (32 - kVectorBytes)); }
inline void StoreUnsetAsBytes(uint8_t* p, WordMask m) {
  const Words unset = TAVRIX_MM_SI(xor)(m, SplatWord(0xFFFF));
  const Words bytes = TAVRIX_MM(packs_epi16)(unset, unset);
#if defined(TAVRIX_SIMD_AVX2)
  // Packing works per 128-bit block; the permutation restores word order.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0xD8)));
#else
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), bytes);
#endif
}
#endif

// kWordLanes words widened to 32 bits, the first kIntLanes into low;
// kDoubleLanes floats widened to doubles; lanes within 0..65535 narrowed to
// words, a's then b's (NarrowSmallToWords: within 0..32767); two registers
// of doubles truncated toward zero into one of 32-bit lanes (the values
// within range); the low and the high half of a register of 32-bit lanes
// widened to doubles.
#if defined(TAVRIX_SIMD_AVX512)
inline void WidenWordPair(const uint16_t* p, Int32& low, Int32& high) {
  low = Int32(_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
  high = Int32(_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + kIntLanes))));
}
inline Float64 LoadDoubles(const float* p) { return Float64(_mm512_cvtps_pd(_mm256_loadu_ps(p))); }
inline Words NarrowToWords(Int32 a, Int32 b) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(__m512i(a))),
                            _mm512_cvtepi32_epi16(__m512i(b)), 1);
}
inline Words NarrowSmallToWords(Int32 a, Int32 b) { return NarrowToWords(a, b); }
inline Int32 TruncateToInts(Float64 low, Float64 high) {
  return Int32(_mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(__m512d(low))),
                                  _mm512_cvttpd_epi32(__m512d(high)), 1));
}
inline Float64 LowDoubles(Int32 v) { return Float64(_mm512_cvtepi32_pd(_mm512_castsi512_si256(__m512i(v)))); }
inline Float64 HighDoubles(Int32 v) { return Float64(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(__m512i(v), 1))); }
inline Float64 LowDoubles(Float32 v) { return Float64(_mm512_cvtps_pd(_mm512_castps512_ps256(__m512(v)))); }
inline Float64 HighDoubles(Float32 v) {
  return Float64(_mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(__m512(v)), 1))));
}
#elif defined(TAVRIX_SIMD_AVX2)
inline void WidenWordPair(const uint16_t* p, Int32& low, Int32& high) {
  low = Int32(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
  high = Int32(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kIntLanes))));
}
inline Float64 LoadDoubles(const float* p) { return Float64(_mm256_cvtps_pd(_mm_loadu_ps(p))); }
inline Words NarrowToWords(Int32 a, Int32 b) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(__m256i(a), __m256i(b)), 0xD8);
}
inline Words NarrowSmallToWords(Int32 a, Int32 b) { return NarrowToWords(a, b); }
inline Int32 TruncateToInts(Float64 low, Float64 high) {
  return Int32(_mm256_inserti128_si256(_mm256_castsi128_si256(_mm256_cvttpd_epi32(__m256d(low))),
                                       _mm256_cvttpd_epi32(__m256d(high)), 1));
}
inline Float64 LowDoubles(Int32 v) { return Float64(_mm256_cvtepi32_pd(_mm256_castsi256_si128(__m256i(v)))); }
inline Float64 HighDoubles(Int32 v) { return Float64(_mm256_cvtepi32_pd(_mm256_extracti128_si256(__m256i(v), 1))); }
inline Float64 LowDoubles(Float32 v) { return Float64(_mm256_cvtps_pd(_mm256_castps256_ps128(__m256(v)))); }
inline Float64 HighDoubles(Float32 v) { return Float64(_mm256_cvtps_pd(_mm256_extractf128_ps(__m256(v), 1))); }
#else
// Each half loaded on its own: one register of words widened twice needs a
// copy, which with eight registers goes through memory.
inline void WidenWordPair(const uint16_t* p, Int32& low, Int32& high) {
  low = Int32(_mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128()));
  high = Int32(_mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + kIntLanes)), _mm_setzero_si128()));
}
inline Float64 LoadDoubles(const float* p) {
  return Float64(_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))));
}
// No unsigned 32-bit packing here: the signed one, biased.
inline Words NarrowToWords(Int32 a, Int32 b) {
  const Int32 bias = Int32{} + 0x8000;
  return _mm_xor_si128(_mm_packs_epi32(__m128i(a - bias), __m128i(b - bias)), _mm_set1_epi16(int16_t(0x8000)));
}
// Lanes within 0..32767 need no bias.
inline Words NarrowSmallToWords(Int32 a, Int32 b) { return _mm_packs_epi32(__m128i(a), __m128i(b)); }
inline Int32 TruncateToInts(Float64 low, Float64 high) {
  return Int32(_mm_unpacklo_epi64(_mm_cvttpd_epi32(__m128d(low)), _mm_cvttpd_epi32(__m128d(high))));
}
inline Float64 LowDoubles(Int32 v) { return Float64(_mm_cvtepi32_pd(__m128i(v))); }
inline Float64 HighDoubles(Int32 v) { return Float64(_mm_cvtepi32_pd(_mm_unpackhi_epi64(__m128i(v), __m128i(v)))); }
inline Float64 LowDoubles(Float32 v) { return Float64(_mm_cvtps_pd(__m128(v))); }
inline Float64 HighDoubles(Float32 v) { return Float64(_mm_cvtps_pd(_mm_movehl_ps(__m128(v), __m128(v)))); }
#endif
#undef TAVRIX_MM
#undef TAVRIX_MM_SI

// Orders the streaming stores before what follows.
inline void FinishStreams() { _mm_sfence(); }

// Asks for the cache line at p; p may lie past any buffer, it is never read.
inline void PrefetchLine(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }


// a0 b0 a1 b1 ... : the first N lanes of a and b interleaved...
template <int N, size_t... I>
typename Lanes<N>::Double InterleaveLow(typename Lanes<N>::Double a, typename Lanes<N>::Double b,
                                        std::index_sequence<I...>) {
  return __builtin_shufflevector(a, b, (I % 2 == 0 ? I / 2 : N + I / 2)...);
}

// ... and the next N.
template <int N, size_t... I>
typename Lanes<N>::Double InterleaveHigh(typename Lanes<N>::Double a,
                                         typename Lanes<N>::Double b, std::index_sequence<I...>) {
  return __builtin_shufflevector(a, b, (I % 2 == 0 ? N / 2 + I / 2 : N + N / 2 + I / 2)...);
}

}  // namespace
}  // namespace TAVRIX_TARGET
}  // namespace tavrix
