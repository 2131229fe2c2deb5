#include "detector/detector.h"
#include "platform/wait.h"
#include "grabber/frame_grabber.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix {
namespace {

constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kCancel = TAVRIX_RUN_CANCEL;
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

int32_t Detector::RunCommand(int32_t command) {
  switch (command) {
    case kArm: return Arm();
    case kAcquire: return Acquire();
    case kCancel: return Cancel();
    default: return 0;
  }
}

int32_t Detector::Arm() {
  if (armed == 1) return 0;
  busy = 0;
  armed = 1;
  armedByte = 1;
  return 1;
}

int32_t Detector::Cancel() {
  armed = 0;
  armedByte = 0;
  return 1;
}

int32_t Detector::Acquire() {
  if (busy != 0) {
    armed = 0;
    armedByte = 0;
    return 0;
  }
  busy = 1;
  int32_t result = 0;
  if (armed == 1 && armedByte != 0 && CaptureFrame()) {
    CorrectImage();
    result = 1;
  }
  busy = 0;
  armed = 0;
  armedByte = 0;
  return result;
}

bool Detector::CaptureFrame() {
  StartFrameTransfer();
  // A ready report still standing from before the start is waited out first.
  if (!WaitForFrameReady(false)) return false;
  if (!WaitForFrameReady(true)) return false;
  ReadFrame(image);
  return true;
}

}  // namespace tavrix
