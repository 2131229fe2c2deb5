// The simulated panel: a deterministic exposure in the raw four-quadrant
// layout, and calibration maps that describe exactly that panel.
#pragma once

#include <cstdint>

namespace pci_frm01_sim {

// Writes raw frame number `index` (16,204,480 bytes) into `raw`. Words that
// carry no pixel are 0.
void ComposeRawFrame(uint8_t* raw, uint32_t index);

// Index of the raw-frame word that carries image pixel (row, column), or -1
// for the columns that the readout never delivers.
int64_t RawWordIndex(int32_t row, int32_t column);

// The pixel map of the panel (3073 x 3073 bytes, row flags in the last
// column, column flags in the last row) and its gain map (3072 x 3072
// floats), which undoes the panel's gain pattern.
void BuildPixelMap(uint8_t* map);
void BuildGainMap(float* map);

}  // namespace pci_frm01_sim
