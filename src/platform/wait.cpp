#include "platform/wait.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tavrix {
namespace {

void SystemSleep(int32_t milliseconds) {
#if defined(_WIN32)
  Sleep(static_cast<DWORD>(milliseconds));
#else
  if (milliseconds <= 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

int64_t SystemNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

WaitFunctions g_wait{SystemSleep, SystemNow};

}  // namespace

void SleepMilliseconds(int32_t milliseconds) { g_wait.sleep(milliseconds); }

int64_t MonotonicMilliseconds() { return g_wait.now(); }

WaitFunctions ReplaceWaitFunctions(WaitFunctions replacement) {
  WaitFunctions previous = g_wait;
  g_wait = replacement;
  return previous;
}

}  // namespace tavrix
