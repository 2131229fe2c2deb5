#include "cli/interrupt.h"

#include <csignal>

namespace tavrix_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
#if !defined(_WIN32)
  std::signal(SIGTERM, OnInterrupt);
#endif
}

bool InterruptRequested() { return g_interrupted != 0; }

}  // namespace tavrix_tool
