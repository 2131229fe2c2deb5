#include "detector/instruction_set.h"

#include <algorithm>

namespace tavrix {
namespace {

InstructionSet Detect() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
    return InstructionSet::kAvx512;
  if (__builtin_cpu_supports("avx2")) return InstructionSet::kAvx2;
#endif
  return InstructionSet::kBaseline;
}

// A cache of what the processor reports, plus the limit tests may set; it
// holds no state of any detector.
InstructionSet g_limit = InstructionSet::kAvx512;

}  // namespace

InstructionSet SupportedInstructionSet() {
  static const InstructionSet supported = Detect();
  return supported;
}

InstructionSet ActiveInstructionSet() { return std::min(SupportedInstructionSet(), g_limit); }

InstructionSet LimitInstructionSet(InstructionSet limit) {
  g_limit = limit;
  return ActiveInstructionSet();
}

}  // namespace tavrix
