// Runs a check on each vector path, narrowest first, for programs with or
// without GoogleTest; GoogleTest tests use vector_paths.h on top of it.
#pragma once

#include "platform/instruction_set.h"
#include "platform/kernels.h"

namespace tavrix_test {

constexpr tavrix::InstructionSet kInstructionSets[] = {
    tavrix::InstructionSet::kBaseline, tavrix::InstructionSet::kAvx2, tavrix::InstructionSet::kAvx512};
constexpr tavrix::InstructionSet kWidestInstructionSet = tavrix::InstructionSet::kAvx512;

inline const char* InstructionSetName(tavrix::InstructionSet path) {
  switch (path) {
    case tavrix::InstructionSet::kAvx512:
      return "AVX-512";
    case tavrix::InstructionSet::kAvx2:
      return "AVX2";
    case tavrix::InstructionSet::kBaseline:
      break;
  }
  return "baseline";
}

// Takes each path in turn: check(path) when the processor has it and taking
// it made it, and its kernels, the active ones; otherwise notRun(path, active) with the path
// then active. Leaves the widest supported path active.
template <class Check, class NotRun>
void ForEachInstructionSet(Check check, NotRun notRun) {
  const tavrix::InstructionSet supported = tavrix::SupportedInstructionSet();
  for (tavrix::InstructionSet path : kInstructionSets) {
    const tavrix::InstructionSet active = tavrix::LimitInstructionSet(path);
    if (path <= supported && active == path && tavrix::ActiveKernels().target == path)
      check(path);
    else
      notRun(path, active);
  }
  tavrix::LimitInstructionSet(kWidestInstructionSet);
}

}  // namespace tavrix_test
