// The fast convolution, written once and compiled per target: the interior
// of the image in strips, each lane of a register walking its own run of
// output columns.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "enhancement/enhancement_engine.h"
#include "enhancement/smoothing.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

// Each lane is one pixel and runs the plain pixel's sum unchanged: start at 0,
// kernel rows in order, columns in order, one rounding per product and sum.
//
// Lanes do not hold neighbouring columns. A strip is cut into kRuns runs of
// output columns, and a widened row is kept as the kRuns runs' samples side
// by side, column after column: the neighbour one column to the right is then
// the next aligned register. With neighbouring columns in the lanes, most
// loads would be unaligned and span two cache lines, which costs more than
// the arithmetic. Rows go in and results come out through 8 x 8 transposes.
constexpr int32_t kRuns = 8;        // runs per strip: one 128-bit register of words
constexpr int32_t kPrefetchRows = 4;

// A row of the runs is a sequence of registers, kRuns / N to a column; a
// step works out kSums of them in turn, which need not make whole columns.
// With registers to spare, half of them: the rest hold samples that
// neighbouring sums share. With eight (a 32-bit process) every register but
// a weight and a product holds a sum, and the sums are pinned to registers
// (SumStep): each is a chain of dependent additions, and fewer than about
// six of them leave the adders waiting.
constexpr int32_t kSumsInFlight = kFewVectorRegisters ? kVectorRegisters - 2 : kVectorRegisters / 2;

// Output columns per run, a few dozen: whole steps of sums.
constexpr int32_t RunLimit(int32_t sums, int32_t groups) { return (32 * groups) % sums == 0 ? 32 : 24; }

// Eight registers and two-operand instructions (the baseline in a 32-bit
// process) take a kernel row as written out below: six sums, a weight and a
// product, each weight one aligned load of its pair. The compiler's own
// allocation of the same loop spilled a sum at every row, stored all six
// after it, and broadcast each weight with a shuffle: 60 against 56 ms.
#if !defined(TAVRIX_SIMD_AVX2) && !defined(TAVRIX_SIMD_AVX512)
constexpr bool kKernelRowsWrittenOut = kFewVectorRegisters;
#else
constexpr bool kKernelRowsWrittenOut = false;
#endif
constexpr int32_t kWrittenOutSums = 6;

// sums[s] += row[8 j + 2 s .. + 1] * pairs[j] for the kernel's columns j in
// order, each product rounded, then each sum.
template <int32_t kSize, class Double>
TAVRIX_KERNEL_INLINE void AddKernelRowWrittenOut(Double (&sums)[kWrittenOutSums], const double* row,
                                                 const double (*pairs)[2]) {
  static_assert(kRuns * sizeof(double) == 64 && sizeof(Double) == 16, "the offsets below");
  Double weight, product;
#define TAVRIX_PRODUCT(j, s)                                                           \
  "movupd " #j "*64+" #s "*16(%[row]), %[product]\n\t"                                  \
  "mulpd %[weight], %[product]\n\t"                                                     \
  "addpd %[product], %[s" #s "]\n\t"
#define TAVRIX_COLUMN(j)                                                                \
  "movapd " #j "*16(%[pairs]), %[weight]\n\t" TAVRIX_PRODUCT(j, 0) TAVRIX_PRODUCT(j, 1) \
      TAVRIX_PRODUCT(j, 2) TAVRIX_PRODUCT(j, 3) TAVRIX_PRODUCT(j, 4) TAVRIX_PRODUCT(j, 5)
#define TAVRIX_OPERANDS                                                                                  \
  : [s0] "+x"(sums[0]), [s1] "+x"(sums[1]), [s2] "+x"(sums[2]), [s3] "+x"(sums[3]), [s4] "+x"(sums[4]), \
    [s5] "+x"(sums[5]), [weight] "=&x"(weight), [product] "=&x"(product)                                  \
  : [row] "r"(row), [pairs] "r"(pairs)                                                                   \
  : "memory"
  static_assert(kSize == 3 || kSize == 5 || kSize == 7, "one sequence per radius");
  if constexpr (kSize == 3) __asm__(TAVRIX_COLUMN(0) TAVRIX_COLUMN(1) TAVRIX_COLUMN(2) TAVRIX_OPERANDS);
  if constexpr (kSize == 5)
    __asm__(TAVRIX_COLUMN(0) TAVRIX_COLUMN(1) TAVRIX_COLUMN(2) TAVRIX_COLUMN(3) TAVRIX_COLUMN(4) TAVRIX_OPERANDS);
  if constexpr (kSize == 7)
    __asm__(TAVRIX_COLUMN(0) TAVRIX_COLUMN(1) TAVRIX_COLUMN(2) TAVRIX_COLUMN(3) TAVRIX_COLUMN(4)
                TAVRIX_COLUMN(5) TAVRIX_COLUMN(6) TAVRIX_OPERANDS);
#undef TAVRIX_OPERANDS
#undef TAVRIX_COLUMN
#undef TAVRIX_PRODUCT
}

// One step: kSums sums from the kernel's rows at in[0..kSize-1], from register
// f of the runs' row on: sum s is register f + s, N samples of one column.
template <int N, int32_t kSize, int32_t kSums>
TAVRIX_KERNEL_INLINE void SumStep(const double* const* in, const double* kernel, const double (*pairs)[2],
                                  int32_t f, typename Lanes<N>::Double (&acc)[kSums]) {
  using Double = typename Lanes<N>::Double;
  auto add = [&](Double& sum, const double* at, double weight) {
    Double samples;
    std::memcpy(&samples, at, sizeof samples);
    sum = sum + samples * weight;
  };
  if constexpr (!kFewVectorRegisters) {
    for (int32_t s = 0; s < kSums; ++s) acc[s] = Double{};
    for (int32_t i = 0; i < kSize; ++i)
      for (int32_t j = 0; j < kSize; ++j)
        for (int32_t s = 0; s < kSums; ++s)
          add(acc[s], in[i] + (f + s) * N + j * kRuns, kernel[i * kSize + j]);
  } else if constexpr (kKernelRowsWrittenOut) {
    Double sums[kSums] = {};
    for (int32_t i = 0; i < kSize; ++i) AddKernelRowWrittenOut<kSize>(sums, in[i] + f * N, pairs + i * kSize);
#pragma GCC unroll 8
    for (int32_t s = 0; s < kSums; ++s) acc[s] = sums[s];
  } else {
    // Spelt out, with the sums held in registers after every column of the
    // kernel: the compiler would otherwise fold each sum's chain into one
    // expression and work the chains out one after another, each waiting on
    // the adder. The row it cannot relate to the step before, or it would
    // carry samples over in registers it does not have, and the kernel it
    // must read again each step. The kernel's rows run as one sequence. The
    // sums live in an array of the step's own and are copied out once: summed
    // in the caller's array, the same loop is allocated worse.
    Double sums[kSums];
#pragma GCC unroll 8
    for (int32_t s = 0; s < kSums; ++s) sums[s] = Double{};
    __asm__("" : "+r"(kernel));
#pragma GCC unroll 8
    for (int32_t i = 0; i < kSize; ++i) {
      const double* row = in[i] + f * N;
      __asm__("" : "+r"(row));
#pragma GCC unroll 8
      for (int32_t j = 0; j < kSize; ++j) {
        const double* column = row + j * kRuns;
#pragma GCC unroll 8
        for (int32_t s = 0; s < kSums; ++s) add(sums[s], column + s * N, kernel[i * kSize + j]);
#pragma GCC unroll 8
        for (int32_t s = 0; s < kSums; ++s) __asm__("" : "+x"(sums[s]));
      }
    }
#pragma GCC unroll 8
    for (int32_t s = 0; s < kSums; ++s) acc[s] = sums[s];
  }
}

using Block = __m128i[kRuns];
static_assert(kRuns == kTransposeWords, "one transpose moves the runs' words");

// Block starts 0, 8, ... and one more ending at `count` (at least 8), which
// may overlap the one before it.
template <class Body>
TAVRIX_KERNEL_INLINE void ForEachBlock(int32_t count, Body body) {
  for (int32_t k = 0; k + kRuns <= count; k += kRuns) body(k);
  if (count % kRuns != 0) body(count - kRuns);
}

template <int N, int32_t kRadius>
void ConvolveInteriorRuns(uint16_t* source, const uint16_t* copy, const double* kernel, int32_t width,
                          int32_t height, double inverse) {
  using L = Lanes<N>;
  using Double = typename L::Double;
  constexpr int32_t kSize = 2 * kRadius + 1;
  constexpr int32_t kGroups = kRuns / N;              // registers per column of a row
  constexpr int32_t kSums = kSumsInFlight;
  constexpr int32_t kRunLimit = RunLimit(kSums, kGroups);
  constexpr int32_t kStrip = kRuns * kRunLimit;
  constexpr int32_t kColumns = kRunLimit + 2 * kRadius;
  static_assert(kRunLimit * kGroups % kSums == 0, "runs are whole steps of sums");

  // A ring of the kernel's rows, widened; the results of a row, run by run.
  alignas(kCacheLineBytes) double rows[kSize][kColumns * kRuns] = {};
  alignas(kCacheLineBytes) uint16_t results[kRunLimit * kRuns] = {};
  // Each weight twice, for kernel rows written out.
  alignas(16) double pairs[kKernelRowsWrittenOut ? kSize * kSize : 1][2] = {};
  if constexpr (kKernelRowsWrittenOut) {
    static_assert(kSums == kWrittenOutSums && N == 2, "a written-out row's sums");
    for (int32_t k = 0; k < kSize * kSize; ++k) pairs[k][0] = pairs[k][1] = kernel[k];
  }
  const Double zero = {};
  const Double largest = zero + 65535.0;

  for (int32_t first = kRadius; first < width - kRadius; first += kStrip) {
    const int32_t span = Smaller(kStrip, width - kRadius - first);
    // A narrower last strip gives each run fewer columns; the last runs may
    // overlap, and write the same values twice.
    const int32_t run = (span + kRuns - 1) / kRuns;
    const int32_t columns = run + 2 * kRadius;
    const bool blocks = run >= kRuns;  // else too short for whole transposes
    int32_t start[kRuns];
    for (int32_t l = 0; l < kRuns; ++l) start[l] = Smaller(l * run, span - run);

    auto widen = [&](int32_t y) {
      const uint16_t* from = copy + ptrdiff_t(y) * width + (first - kRadius);
      double* to = rows[y % kSize];
      if (blocks) {
        ForEachBlock(columns, [&](int32_t k) {
          Block in, out;
          for (int32_t l = 0; l < kRuns; ++l)
            in[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + start[l] + k));
          TransposeWordBlocks(in, out);
          for (int32_t c = 0; c < kRuns; ++c) {
            alignas(16) uint16_t words[kRuns];
            _mm_store_si128(reinterpret_cast<__m128i*>(words), out[c]);
            for (int32_t g = 0; g < kGroups; ++g) {
              const Double v = L::LoadSamples(words + g * N);
              std::memcpy(to + (k + c) * kRuns + g * N, &v, sizeof v);
            }
          }
        });
      } else {
        for (int32_t l = 0; l < kRuns; ++l)
          for (int32_t c = 0; c < columns; ++c) to[c * kRuns + l] = double(from[start[l] + c]);
      }
      // A strip reads each row in a short piece: ask for a later row's ahead.
      if (y + kPrefetchRows < height) {
        const char* later = reinterpret_cast<const char*>(from + ptrdiff_t(kPrefetchRows) * width);
        for (int32_t b = 0; b < int32_t((span + 2 * kRadius) * sizeof(uint16_t)); b += kCacheLineBytes)
          __builtin_prefetch(later + b);
      }
    };

    auto store = [&](uint16_t* out) {
      if (blocks) {
        ForEachBlock(run, [&](int32_t k) {
          Block in, transposed;
          for (int32_t c = 0; c < kRuns; ++c)
            in[c] = _mm_load_si128(reinterpret_cast<const __m128i*>(results + (k + c) * kRuns));
          TransposeWordBlocks(in, transposed);
          for (int32_t l = 0; l < kRuns; ++l)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + start[l] + k), transposed[l]);
        });
      } else {
        for (int32_t l = 0; l < kRuns; ++l)
          for (int32_t c = 0; c < run; ++c) out[start[l] + c] = results[c * kRuns + l];
      }
    };

    for (int32_t y = 0; y < 2 * kRadius; ++y) widen(y);
    for (int32_t y = kRadius; y < height - kRadius; ++y) {
      widen(y + kRadius);
      const double* in[kSize];
      for (int32_t i = 0; i < kSize; ++i) in[i] = rows[(y - kRadius + i) % kSize];
      // The last step may run past the run's columns, within the buffers.
      for (int32_t f = 0; f < run * kGroups; f += kSums) {
        Double acc[kSums];
        SumStep<N, kSize, kSums>(in, kernel, pairs, f, acc);
        for (int32_t s = 0; s < kSums; ++s)  // NaN to 0 too, as the plain guard does
          L::StoreSamples(results + (f + s) * N, ClampDoubles(acc[s] * inverse, zero, largest));
      }
      store(source + ptrdiff_t(y) * width + first);
    }
  }
}

}  // namespace

void ConvolveInterior(uint16_t* source, const uint16_t* copy, const double* kernel, int32_t radius,
                      int32_t width, int32_t height, double inverse) {
  static_assert(kMaxKernelRadius == 3, "one instance per radius");
  switch (radius) {
    case 1:
      ConvolveInteriorRuns<kDoubleLanes, 1>(source, copy, kernel, width, height, inverse);
      break;
    case 2:
      ConvolveInteriorRuns<kDoubleLanes, 2>(source, copy, kernel, width, height, inverse);
      break;
    case 3:
      ConvolveInteriorRuns<kDoubleLanes, 3>(source, copy, kernel, width, height, inverse);
      break;
    default:
      break;
  }
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
