#pragma once

#include <cstdint>

namespace tavrix {

constexpr int32_t kBorderMaskWidth = 40;

// Sets every pixel within kBorderMaskWidth of an edge to 16383.
void MaskBorder(uint16_t* image, int32_t width, int32_t height);

}  // namespace tavrix
