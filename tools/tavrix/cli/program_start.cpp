#include "cli/program_start.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace tavrix_tool {

#if defined(_WIN32)

const char* const kGrabberModuleName = "PCI_FRM01.dll";

namespace {

std::string Utf8(const wchar_t* wide) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string text(size_t(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], bytes, nullptr, nullptr);
  text.resize(size_t(bytes) - 1);
  return text;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int, char**) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool GrabberModuleReachable() {
  // No "cannot find the module" box: the answer is ours to report.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Stays loaded: the delay-load helper then finds it without searching.
  return LoadLibraryA(kGrabberModuleName) != nullptr;
}

#else

const char* const kGrabberModuleName = "libPCI_FRM01.so";

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool GrabberModuleReachable() { return true; }

#endif

}  // namespace tavrix_tool
