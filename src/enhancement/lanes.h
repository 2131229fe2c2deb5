// Vectors of N independent lanes for the fast enhancement steps. Every lane
// does exactly the operations of the plain code on its own pixel, in the same
// order and precision: element-wise IEEE operations, no contraction.
//
// Included by the baseline and the wider instruction-set files alike, each
// compiled with its own flags; the anonymous namespace keeps every
// instantiation inside its file, so no file can pick up another's wide code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tavrix {
namespace {

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

  static Double LoadSamples(const uint16_t* p) {
    Sample s;
    std::memcpy(&s, p, sizeof s);
    // Through int32: a direct conversion would be done lane by lane.
    return __builtin_convertvector(__builtin_convertvector(s, Int), Double);
  }
  static Double LoadFloats(const float* p) {
    Float f;
    std::memcpy(&f, p, sizeof f);
    return __builtin_convertvector(f, Double);
  }
  static void StoreFloats(float* p, Double v) {
    const Float f = __builtin_convertvector(v, Float);
    std::memcpy(p, &f, sizeof f);
  }
  // Lanes already within 0..65535, truncated toward zero.
  static void StoreSamples(uint16_t* p, Double v) {
    const Sample s = __builtin_convertvector(__builtin_convertvector(v, Int), Sample);
    std::memcpy(p, &s, sizeof s);
  }
  static bool AnyTrue(Long mask) {
    Long m = mask;
    int64_t any = 0;
    for (int i = 0; i < N; ++i) any |= m[i];
    return any != 0;
  }
};

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
}  // namespace tavrix
