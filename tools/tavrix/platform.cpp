#include "platform.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tavrix_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return int(getpid());
#endif
}

}  // namespace

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
#if !defined(_WIN32)
  std::signal(SIGTERM, OnInterrupt);
#endif
}

bool InterruptRequested() { return g_interrupted != 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

std::string TemporaryNameBeside(const std::string& path) {
  static int counter = 0;
  return path + ".part-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace tavrix_tool
