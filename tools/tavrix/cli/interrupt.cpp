#include "cli/interrupt.h"

#include <csignal>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace tavrix_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

void CatchInterrupt() {
#if defined(_WIN32)
  std::signal(SIGINT, OnInterrupt);
#else
  // Without SA_RESTART, so that a prompt waiting for Enter returns.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() { return g_interrupted != 0; }

void StopIfInterrupted(const std::string& message) {
  if (InterruptRequested()) throw Interrupted(message);
}

}  // namespace tavrix_tool
