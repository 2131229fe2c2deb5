// What the fast-versus-plain tests share: a run of a check on every vector
// path, with the paths the processor lacks reported as skipped.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/instruction_sets.h"

namespace tavrix_test {

// Calls check(path) on each path the processor offers, narrowest first, and
// leaves the widest one active. A test that reaches a path the processor
// lacks ends as skipped, naming the path, unless it failed. Fails when taking
// a supported path does not make it the active one (the test would otherwise
// pass without running it), or when a lacking path is not capped at the
// widest supported one.
template <class Check>
void ForEachInstructionSet(Check check) {
  const tavrix::InstructionSet supported = tavrix::SupportedInstructionSet();
  std::string lacking;
  ForEachInstructionSet(
      [&](tavrix::InstructionSet path) {
        SCOPED_TRACE(std::string("on the ") + InstructionSetName(path) + " path");
        check(path);
      },
      [&](tavrix::InstructionSet path, tavrix::InstructionSet active) {
        if (path <= supported) {
          ADD_FAILURE() << "taking the " << InstructionSetName(path) << " path left the "
                        << InstructionSetName(active) << " path active";
          return;
        }
        EXPECT_EQ(active, supported) << "a path the processor lacks must leave its widest one active";
        lacking += lacking.empty() ? InstructionSetName(path) : std::string(", ") + InstructionSetName(path);
      });
  if (!lacking.empty()) GTEST_SKIP() << "not run, the processor lacks it: " << lacking;
}

}  // namespace tavrix_test
