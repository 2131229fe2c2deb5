#include "simulated_panel.h"

#include <cstring>

#include "acquisition/raw_frame_layout.h"
#include "grabber/frame_grabber.h"

namespace pci_frm01_sim {

void ComposeRawFrame(uint8_t* raw, uint32_t index) {
  std::memset(raw, 0, size_t(tavrix::kRawFrameBytes));
  (void)index;
}

}  // namespace pci_frm01_sim
