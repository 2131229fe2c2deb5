// A 32-bit integer hash with good avalanche: the same pixel and seed always
// give the same value, neighbouring pixels unrelated ones. Shared by every
// simulated scene, so that one seed means one panel.
#pragma once

#include <cstdint>

#include "platform/dimensions.h"

namespace pci_frm01_sim {

inline uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

inline uint32_t PixelHash(int32_t row, int32_t column, uint32_t seed) {
  return Mix((uint32_t(row) * uint32_t(tavrix::kImageWidth) + uint32_t(column)) ^ Mix(seed));
}

}  // namespace pci_frm01_sim
