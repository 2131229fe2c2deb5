// Every sleep and every look at the clock goes through here, so that tests can
// replace them and no test waits in real time.
#pragma once

#include <cstdint>

namespace tavrix {

// Polls of the frame grabber and of the serial channel sleep this long between calls.
constexpr int32_t kPollIntervalMilliseconds = 1;

struct WaitFunctions {
  void (*sleep)(int32_t milliseconds);
  int64_t (*now)();  // monotonic milliseconds
};

void SleepMilliseconds(int32_t milliseconds);
int64_t MonotonicMilliseconds();

// Installs replacements and returns the functions in use before.
WaitFunctions ReplaceWaitFunctions(WaitFunctions replacement);

}  // namespace tavrix
