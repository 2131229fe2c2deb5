// tavrix.exe imports nothing from the card's module: the library's calls to
// it go through the import slots defined here, each of which binds its
// function on the first call. So the program starts without PCI_FRM01.dll
// and says in one line that it is missing (program_start.cpp) instead of the
// loader refusing to start it. (The delay-import libraries of this
// toolchain's dlltool leave the slots empty, and its linker has no delay
// loading.) A function left out here is imported from the DLL the usual way,
// which the test of tavrix.exe's import list catches.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/program_start.h"
#include "grabber/pci_frm01.h"

namespace {

FARPROC Bind(const char* name) {
  static const HMODULE module = LoadLibraryA(tavrix_tool::kGrabberModuleName);
  const FARPROC function = module != nullptr ? GetProcAddress(module, name) : nullptr;
  if (function == nullptr) {
    std::fprintf(stderr, "tavrix: %s %s\n", tavrix_tool::kGrabberModuleName,
                 module == nullptr ? "not found" : (std::string("lacks ") + name).c_str());
    std::exit(1);
  }
  return function;
}

}  // namespace

// The slot the library's dllimport calls read (__imp__NAME), first holding a
// function that fills it with the module's own and calls that.
#define TAVRIX_BIND_LATE(name, parameters, arguments)                                    \
  extern "C" decltype(&name) _imp__##name;                                               \
  namespace {                                                                            \
  int32_t PCI_FRM01_CALL First_##name parameters {                                      \
    _imp__##name = reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(Bind(#name))); \
    return _imp__##name arguments;                                                       \
  }                                                                                      \
  }                                                                                      \
  extern "C" {                                                                           \
  decltype(&name) _imp__##name = First_##name;                                           \
  }

TAVRIX_BIND_LATE(OpenDAQDevice, (void), ())
TAVRIX_BIND_LATE(LVDS_Init, (void), ())
TAVRIX_BIND_LATE(UART_Init, (void), ())
TAVRIX_BIND_LATE(LVDS_SetModel, (int32_t model), (model))
TAVRIX_BIND_LATE(LVDS_Start, (void), ())
TAVRIX_BIND_LATE(LVDS_Check, (void), ())
TAVRIX_BIND_LATE(LVDS_GetFrame, (int32_t * byteCount, void* buffer), (byteCount, buffer))
TAVRIX_BIND_LATE(UART_GetData, (int32_t * length, void* buffer), (length, buffer))
TAVRIX_BIND_LATE(LVDS_Close, (void), ())
TAVRIX_BIND_LATE(UART_Close, (void), ())
TAVRIX_BIND_LATE(CloseDAQDevice, (void), ())
