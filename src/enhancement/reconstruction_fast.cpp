#include "enhancement/reconstruction.h"
#include "platform/kernels.h"

namespace tavrix {

// Several outputs per vector; the last level's exponential is a polynomial in
// the lanes with a proven error bound, the plain exp kept where it could matter.
void UpsampleLevel(const float* source, float* plane, int32_t stride, int32_t columns,
                   int32_t rows, const FinalOutput& output, bool last) {
  ActiveKernels().UpsampleLevel(source, plane, stride, columns, rows, output, last);
}

}  // namespace tavrix
