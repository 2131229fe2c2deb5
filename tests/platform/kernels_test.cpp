#include <gtest/gtest.h>

#include "platform/instruction_set.h"
#include "platform/kernels.h"

namespace tavrix {
namespace {

// The steps call through the table of the path in force, whichever a test
// limits them to: a table out of its place would run one target's kernels
// under another's name, or wide code on a processor without it.
TEST(Kernels, TheActiveTableIsThatOfThePathInForce) {
  for (InstructionSet limit : {InstructionSet::kBaseline, InstructionSet::kAvx2, InstructionSet::kAvx512}) {
    const InstructionSet active = LimitInstructionSet(limit);
    EXPECT_LE(active, SupportedInstructionSet());
    EXPECT_EQ(ActiveKernels().target, active);
    // A register of words: 16, 32 or 64 bytes.
    EXPECT_EQ(ActiveKernels().impulseMarkLanes, 8 << int(active));
  }
  LimitInstructionSet(InstructionSet::kAvx512);
}

}  // namespace
}  // namespace tavrix
