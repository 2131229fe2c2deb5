// The images that catch lane and edge faults of the fast paths: flat
// extremes, checkerboards and stripes of 0 and 65535, isolated outliers on a
// flat ground, and noise over the whole 16-bit range and over 14 bits.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/correction_images.h"

namespace tavrix_test {

using NamedImage = std::pair<std::string, TestImage>;

// A small deterministic generator, the same on every platform.
inline uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

inline std::vector<NamedImage> EdgeCaseImages(int32_t width, int32_t height) {
  std::vector<NamedImage> images;
  for (uint16_t v : {uint16_t(0), uint16_t(65535), uint16_t(16383)})
    images.emplace_back("flat " + std::to_string(v), TestImage(width, height, v));
  TestImage checker(width, height), stripes(width, height), outliers(width, height, 1000);
  TestImage noise(width, height), noise14(width, height);
  uint32_t state = 7u;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      checker(r, c) = (r + c) % 2 ? 65535 : 0;
      stripes(r, c) = c % 2 ? 65535 : 0;
      if (NextRandom(state) % 97 == 0) outliers(r, c) = NextRandom(state) % 2 ? 65535 : 0;
      noise(r, c) = uint16_t(NextRandom(state));
      noise14(r, c) = uint16_t(NextRandom(state) % 16384);
    }
  }
  images.emplace_back("checkerboard", std::move(checker));
  images.emplace_back("column stripes", std::move(stripes));
  images.emplace_back("isolated outliers", std::move(outliers));
  images.emplace_back("16-bit noise", std::move(noise));
  images.emplace_back("14-bit noise", std::move(noise14));
  return images;
}

}  // namespace tavrix_test
