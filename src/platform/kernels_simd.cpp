#include "platform/kernels.h"
#include "platform/simd.h"

namespace tavrix {
namespace TAVRIX_TARGET {

const Kernels kKernels = {
    kVectorBytes == 64 ? InstructionSet::kAvx512
    : kVectorBytes == 32 ? InstructionSet::kAvx2
                         : InstructionSet::kBaseline,
    kWordLanes,
#define TAVRIX_KERNEL_ADDRESS(result, name, parameters) &name,
    TAVRIX_KERNEL_SIGNATURES(TAVRIX_KERNEL_ADDRESS)
#undef TAVRIX_KERNEL_ADDRESS
};

}  // namespace TAVRIX_TARGET
}  // namespace tavrix
