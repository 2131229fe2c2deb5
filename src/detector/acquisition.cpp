// The detector's commands and its image chain: capture, readout and
// correction with the selected panel's maps.

#include <algorithm>
#include <cstddef>

#include "acquisition/capture.h"
#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "detector/detector.h"
#include "grabber/frame_grabber.h"
#include "tavrix_1417_pci_vusk.h"

namespace tavrix {
namespace {

constexpr int32_t kArm = TAVRIX_RUN_ARM;
constexpr int32_t kAcquire = TAVRIX_RUN_ACQUIRE;
constexpr int32_t kCancel = TAVRIX_RUN_CANCEL;

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
  if (!CaptureRawFrame(rawFrame)) {
    // A host that ignores the result must show black, never the previous
    // patient's image or a frame torn between two exposures.
    std::fill_n(image, size_t(width) * size_t(height), uint16_t{0});
    return false;
  }
  ReadOutRawFrame(image);
  return true;
}

void Detector::ReadFrame(uint16_t* target) {
  FetchRawFrame(rawFrame);
  ReadOutRawFrame(target);
}

void Detector::ReadOutRawFrame(uint16_t* target) { ReadOutFrame(rawFrame, target, width, height); }

uint16_t* Detector::CorrectImage() {
  const int32_t p = panel == 0 ? 0 : 1;
  tavrix::CorrectImage(image, width, height, pixelMaps[p], gainMaps[p]);
  return image;
}

}  // namespace tavrix
