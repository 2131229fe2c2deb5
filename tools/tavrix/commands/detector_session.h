// The library's detector, held through the exports for as long as a command
// needs it and released however the command ends.
#pragma once

#include <string>

#include "cli/command_line.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix_tool {

class DetectorSession {
 public:
  DetectorSession() {
    const int32_t result = Sys_Allocation_1417();
    if (result != 1)
      throw Failure("Sys_Allocation_1417 returned " + std::to_string(result) +
                    (result == 0 ? ": not enough memory" : ": a detector exists already"));
  }
  ~DetectorSession() { Sys_Free(); }
  DetectorSession(const DetectorSession&) = delete;
  DetectorSession& operator=(const DetectorSession&) = delete;
};

}  // namespace tavrix_tool
