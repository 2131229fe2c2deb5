#include "platform/instruction_set.h"

#include <algorithm>

namespace tavrix {
namespace {

InstructionSet Detect() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __builtin_cpu_init();
  // The wider paths also fuse multiply and add where an approximation allows
  // it; every processor with AVX2 worth the name has that too.
  const bool fused = __builtin_cpu_supports("fma");
  if (fused && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
    return InstructionSet::kAvx512;
  if (fused && __builtin_cpu_supports("avx2")) return InstructionSet::kAvx2;
#endif
  return InstructionSet::kBaseline;
}

// The limit tests may set; it holds no state of any detector.
InstructionSet g_limit = InstructionSet::kAvx512;

// Read once, as the module loads: the processor does not change under a
// running process, and an initialisation at load time needs no guard (a
// function's static would take one on every call before the first returns).
const InstructionSet g_supported = Detect();

}  // namespace

InstructionSet SupportedInstructionSet() { return g_supported; }

InstructionSet ActiveInstructionSet() { return std::min(SupportedInstructionSet(), g_limit); }

InstructionSet LimitInstructionSet(InstructionSet limit) {
  g_limit = limit;
  return ActiveInstructionSet();
}

}  // namespace tavrix
