// The vector half of the fast impulse filter, written once and compiled per
// target: for a run of pixels of one row, marks those that may lie outside
// their window's band as the image holds it now. Unmarked pixels certainly
// lie inside; marked ones go to the exact test (impulse_noise_fast.cpp).
//
// The test is exact in integers. With S the window sum:
// - m = ceil(S/25) - 1 is trunc((S - 0.5) * 0.04f) in single precision:
//   (S - 0.5)/25 lies at least 0.02 from an integer, the float error is
//   below 0.006.
// - D = sum |p - m| = (S - 25m) + 2 * sum max(m - p, 0), in saturating 16-bit
//   lanes; D >= 65535 (saturated) sends the pixel to the exact test.
// - The band is hi = m + t and lo = m - t - 1 (no lower limit when m <= t),
//   t = floor(2D/5), which for D < 65536 is mulhi(D, 52429) >> 1.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "correction/impulse_noise.h"
#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {
namespace {

constexpr int32_t kSpan = 2 * kImpulseWindowReach + 1;
// The three middle rows of the window screen the pixels (see below).
constexpr int32_t kScreenFirstRow = kImpulseWindowReach - 1;
constexpr int32_t kScreenLastRow = kImpulseWindowReach + 1;

Int32 LoadInts(const int32_t* p) {
  Int32 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Column sums of the window's rows, for columns first - 2 .. first + count + 1.
void SumColumns(const uint16_t* const rows[kSpan], int32_t first, int32_t count, int32_t* columnSums) {
  const int32_t columns = count + kSpan - 1;
  for (int32_t j = 0;; j += kWordLanes) {
    if (j + kWordLanes > columns) j = columns - kWordLanes;  // overlap the last vector
    const int32_t c = first - kImpulseWindowReach + j;
    Int32 sums[2] = {};
    for (int32_t r = 0; r < kSpan; ++r) {
      Int32 rowLow, rowHigh;
      WidenWordPair(rows[r] + c, rowLow, rowHigh);
      sums[0] += rowLow;
      sums[1] += rowHigh;
      // With eight registers, rows loaded all at once would spill.
      if constexpr (kFewVectorRegisters) HoldInRegisters(sums);
    }
    std::memcpy(columnSums + j, &sums[0], sizeof sums[0]);
    std::memcpy(columnSums + j + kIntLanes, &sums[1], sizeof sums[1]);
    if (j + kWordLanes == columns) break;
  }
}

}  // namespace

void MarkImpulseCandidates(const uint16_t* image, int32_t width, int32_t y, int32_t first, int32_t count,
                           uint8_t* marks) {
  const uint16_t* rows[kSpan];
  for (int32_t r = 0; r < kSpan; ++r) rows[r] = image + size_t(y - kImpulseWindowReach + r) * width;
  int32_t columnSums[kImpulseMarkRun + kSpan];
  SumColumns(rows, first, count, columnSums);

  const Words zero = SplatWord(0);
  const Words one = SplatWord(1);
  const Words allOnes = SplatWord(0xFFFF);
  const Words twoFifths = SplatWord(52429);
  auto windowSum = [&](int32_t i) {
    Int32 s = LoadInts(columnSums + i);
    for (int32_t d = 1; d < kSpan; ++d) s += LoadInts(columnSums + i + d);
    return s;
  };
  auto mean = [](Int32 s) {
    return __builtin_convertvector((__builtin_convertvector(s, Float32) - 0.5f) * 0.04f, Int32);
  };
  // S - 25m is 0..25, so its low 16 bits are all it takes.
  auto restOf = [](Int32 s, Int32 m) { return (s - MultiplyLowWordBy(m, 25)) & 0xFFFF; };
  for (int32_t i = 0;; i += kWordLanes) {
    if (i + kWordLanes > count) i = count - kWordLanes;
    const int32_t x = first + i;
    const Int32 s0 = windowSum(i), s1 = windowSum(i + kIntLanes);
    const Int32 m0 = mean(s0), m1 = mean(s1);
    const Words m = NarrowToWords(m0, m1);
    const Words rest = NarrowSmallToWords(restOf(s0, m0), restOf(s1, m1));
    const Words v = LoadWords(rows[kImpulseWindowReach] + x);
    // Whether v lies inside the band of a deviation sum.
    auto insideBand = [&](Words deviation) {
      const Words t = HalveWords(MultiplyHigh(deviation, twoFifths));
      const Words hi = AddSaturated(m, t);
      const Words lo = SubtractSaturated(m, AddWords(t, one));
      return EqualWords(OrWords(SubtractSaturated(v, hi), SubtractSaturated(lo, v)), zero);
    };
    auto addBelow = [&](Words below, int32_t r) {
      // One pointer, the columns at fixed offsets from it: left to itself the
      // compiler keeps an index register per column, which 32-bit code lacks.
      const uint16_t* window = rows[r] + (x - kImpulseWindowReach);
      __asm__("" : "+r"(window));
      for (int32_t d = 0; d < kSpan; ++d) below = AddSaturated(below, SubtractSaturated(m, LoadWords(window + d)));
      return below;
    };
    // The terms of D are never negative, so the screening rows alone give a
    // lower bound of D, a band no wider than the true one, and a pixel inside
    // it is certainly inside (a saturated sum is still a lower bound).
    Words below = zero;
    for (int32_t r = kScreenFirstRow; r <= kScreenLastRow; ++r) below = addBelow(below, r);
    WordMask inside = insideBand(AddSaturated(AddSaturated(below, below), rest));
    if (!AllSet(inside)) {
      // The other rows complete D; saturating sums of terms that are never
      // negative do not depend on their order.
      for (int32_t r = 0; r < kSpan; ++r)
        if (r < kScreenFirstRow || r > kScreenLastRow) below = addBelow(below, r);
      const Words deviation = AddSaturated(AddSaturated(below, below), rest);
      inside = AndNotMask(EqualWords(deviation, allOnes), insideBand(deviation));
    }
    StoreUnsetAsBytes(marks + i, inside);
    if (i + kWordLanes == count) break;
  }
}

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
