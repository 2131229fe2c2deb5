// What the fast-versus-plain tests share: a run over every instruction-set
// path the processor offers, and the images that catch lane and edge faults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/instruction_set.h"

namespace tavrix {

// Calls check() once on each path up to the widest supported, then leaves
// the widest path active again.
template <class Check>
void ForEachInstructionSet(Check&& check) {
  const InstructionSet paths[] = {InstructionSet::kBaseline, InstructionSet::kAvx2,
                                  InstructionSet::kAvx512};
  const char* names[] = {"baseline", "avx2", "avx512"};
  for (int i = 0; i < 3; ++i) {
    if (paths[i] > SupportedInstructionSet()) break;
    ASSERT_EQ(LimitInstructionSet(paths[i]), paths[i]);
    SCOPED_TRACE(names[i]);
    check();
  }
  LimitInstructionSet(InstructionSet::kAvx512);
}

using NamedImage = std::pair<std::string, std::vector<uint16_t>>;

inline uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// Flat extremes, checkerboards of 0 and 65535, isolated outliers on a flat
// ground and uniform noise over the whole 16-bit range and over 14 bits.
inline std::vector<NamedImage> EdgeCaseImages(int32_t width, int32_t height) {
  const size_t n = size_t(width) * size_t(height);
  std::vector<NamedImage> images;
  for (uint16_t v : {uint16_t(0), uint16_t(65535), uint16_t(16383)})
    images.emplace_back("flat " + std::to_string(v), std::vector<uint16_t>(n, v));
  std::vector<uint16_t> checker(n), lines(n), outliers(n, 1000), noise(n), noise14(n);
  uint32_t state = 7u;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const size_t i = size_t(r) * width + c;
      checker[i] = (r + c) % 2 ? 65535 : 0;
      lines[i] = c % 2 ? 65535 : 0;
      if (NextRandom(state) % 97 == 0) outliers[i] = NextRandom(state) % 2 ? 65535 : 0;
      noise[i] = uint16_t(NextRandom(state));
      noise14[i] = uint16_t(NextRandom(state) % 16384);
    }
  }
  images.emplace_back("checkerboard", checker);
  images.emplace_back("column stripes", lines);
  images.emplace_back("isolated outliers", outliers);
  images.emplace_back("16-bit noise", noise);
  images.emplace_back("14-bit noise", noise14);
  return images;
}

}  // namespace tavrix
