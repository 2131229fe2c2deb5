#include "cli/interrupt.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

namespace tavrix_tool {

namespace {

// Set from a signal handler (Linux) or the console's handler thread (Windows).
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

#if defined(_WIN32)

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing: the default ends us
  g_interrupted = true;
  return TRUE;
}

#else

void OnInterrupt(int) { g_interrupted = true; }

#endif

}  // namespace

void CatchInterrupt() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  // Without SA_RESTART, so that a prompt waiting for Enter returns.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() { return g_interrupted; }

void StopIfInterrupted(const std::string& message) {
  if (InterruptRequested()) throw Interrupted(message);
}

}  // namespace tavrix_tool
