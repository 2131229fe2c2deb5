#pragma once

#include <cstdint>

#include "interface/tavrix_internal.h"

namespace tavrix {

// Sets every pixel within kBorderMaskWidth of an edge to 16383.
void MaskBorder(uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
