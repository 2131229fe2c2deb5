#include "acquisition/capture.h"

#include "grabber/frame_grabber.h"
#include "platform/wait.h"

namespace tavrix {
namespace {

// A grabber that never reports (or never clears) a frame must not hang the
// host's thread: each wait gives up after this long.
constexpr int64_t kFrameWaitLimitMilliseconds = 30000;

// Polls until the grabber's ready report equals `ready`; false on time-out.
bool WaitForFrameReady(bool ready) {
  const int64_t start = MonotonicMilliseconds();
  while (IsFrameReady() != ready) {
    if (MonotonicMilliseconds() - start >= kFrameWaitLimitMilliseconds) return false;
    SleepMilliseconds(kPollIntervalMilliseconds);
  }
  return true;
}

}  // namespace

bool CaptureRawFrame(uint8_t* rawFrame) {
  StartFrameTransfer();
  // A ready report still standing from before the start is waited out first.
  if (!WaitForFrameReady(false)) return false;
  if (!WaitForFrameReady(true)) return false;
  return FetchRawFrame(rawFrame);
}

}  // namespace tavrix
