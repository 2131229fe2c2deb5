// The widest vector instruction set the processor offers, for the steps that
// have faster paths. Every path gives bit-identical results; the choice only
// changes the cost.
#pragma once

#include <cstdint>

namespace tavrix {

// The unit of the streaming stores that write whole lines past the cache.
constexpr int32_t kCacheLineBytes = 64;

enum class InstructionSet { kBaseline = 0, kAvx2 = 1, kAvx512 = 2 };

// What the processor (and operating system) support.
InstructionSet SupportedInstructionSet();

// The path the steps take: the supported one unless a test limited it.
InstructionSet ActiveInstructionSet();

// For tests: takes the given path, capped at what is supported. Returns the
// path now active.
InstructionSet LimitInstructionSet(InstructionSet limit);

}  // namespace tavrix
