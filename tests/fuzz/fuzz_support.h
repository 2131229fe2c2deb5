// Shared by the fuzz targets: the check, the creation of the one detector
// every input reuses (creation allocates hundreds of megabytes), and reading
// integers from the input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/wait.h"
#include "pci_frm01_sim.h"
#include "tavrix_1417_pci_vusk.h"

// A mismatch stops the fuzzer like a crash, with the input kept.
#define CHECK(condition)                \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (0)

namespace fuzz {

// Nothing sleeps in real time; waits still time out on this clock.
inline int64_t g_clock = 0;
inline void FakeSleep(int32_t milliseconds) { g_clock += milliseconds; }
inline int64_t FakeNow() { return g_clock; }

// A simulator with its default behaviour, whatever the environment asks for.
inline void CreateDetector() {
  std::vector<std::string> settings;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "PCI_FRM01_SIM_", 14) == 0)
      settings.emplace_back(*entry, std::strcspn(*entry, "="));
  for (const std::string& name : settings) unsetenv(name.c_str());
  PCI_FRM01_SimReset();
  tavrix::ReplaceWaitFunctions({FakeSleep, FakeNow});
  CHECK(Sys_Allocation_1417() == 1);
}

// Little-endian; bytes beyond the input read as 0.
inline int32_t ReadInt32(const uint8_t* data, size_t size, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    if (at + i < size) value |= uint32_t(data[at + i]) << (8 * i);
  return int32_t(value);
}

}  // namespace fuzz
