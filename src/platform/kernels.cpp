#include "platform/kernels.h"

namespace tavrix {
namespace {

// Indexed by InstructionSet.
const Kernels* const kTables[] = {&baseline::kKernels, &avx2::kKernels, &avx512::kKernels};

}  // namespace

const Kernels& ActiveKernels() { return *kTables[int(ActiveInstructionSet())]; }

}  // namespace tavrix
