#include "enhancement/reconstruction_fast.h"

#include "platform/instruction_set.h"

namespace tavrix {

void UpsampleLevelBaseline(const float* source, float* plane, int32_t stride, int32_t columns,
                           int32_t rows, const FinalOutput& output, bool last) {
  UpsampleLevelLanes<2>(source, plane, stride, columns, rows, output, last);
}

// Several outputs per vector; the last level's exponential is a polynomial in
// the lanes with a proven error bound, the plain exp kept where it could matter.
void UpsampleLevel(const float* source, float* plane, int32_t stride, int32_t columns,
                   int32_t rows, const FinalOutput& output, bool last) {
  switch (ActiveInstructionSet()) {
    case InstructionSet::kAvx512:
      UpsampleLevelAvx512(source, plane, stride, columns, rows, output, last);
      break;
    case InstructionSet::kAvx2:
      UpsampleLevelAvx2(source, plane, stride, columns, rows, output, last);
      break;
    case InstructionSet::kBaseline:
      UpsampleLevelBaseline(source, plane, stride, columns, rows, output, last);
      break;
  }
}

}  // namespace tavrix
