// A benchmark's vector path, from its argument (0 baseline, 1 AVX2,
// 2 AVX-512), in force while an OnPath lives. A path this processor lacks is
// skipped rather than measured as a narrower one under its name.
#pragma once

#include <benchmark/benchmark.h>

#include "platform/instruction_set.h"

class OnPath {
 public:
  explicit OnPath(benchmark::State& state)
      : path_(tavrix::InstructionSet(state.range(0))), supported_(path_ <= tavrix::SupportedInstructionSet()) {
    if (!supported_) state.SkipWithError("path not supported here");
    tavrix::LimitInstructionSet(path_);
  }
  ~OnPath() { tavrix::LimitInstructionSet(tavrix::InstructionSet::kAvx512); }
  OnPath(const OnPath&) = delete;
  OnPath& operator=(const OnPath&) = delete;

  explicit operator bool() const { return supported_; }
  tavrix::InstructionSet path() const { return path_; }

 private:
  tavrix::InstructionSet path_;
  bool supported_;
};
