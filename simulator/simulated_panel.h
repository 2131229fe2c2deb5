// The simulated panel: a deterministic exposure in the raw four-quadrant
// layout, and calibration maps that describe exactly that panel.
#pragma once

#include <cstdint>

namespace pci_frm01_sim {

// Writes raw frame number `index` (16,204,480 bytes) into `raw`.
void ComposeRawFrame(uint8_t* raw, uint32_t index);

}  // namespace pci_frm01_sim
