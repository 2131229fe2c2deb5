// The exported functions: each looks up the detector, handles its absence and
// calls one operation. No exception leaves an export.
#include "tavrix_1417_pci_vusk.h"

#include <new>

#include "detector/detector.h"

using tavrix::Detector;

namespace {

constexpr int32_t kNoDetector = -1;
constexpr int32_t kFailed = 0;
constexpr int32_t kDone = 1;

// The module's only state.
Detector* g_detector = nullptr;

template <class Operation, class Result>
Result Guarded(Operation operation, Result onException) noexcept {
  try {
    return operation();
  } catch (...) {
    return onException;
  }
}

}  // namespace

extern "C" {

TAVRIX_API int32_t TAVRIX_CALL Sys_Allocation_1417(void) {
  if (g_detector != nullptr) return kNoDetector;
  return Guarded([] {
    Detector* created = new (std::nothrow) Detector();
    if (created == nullptr) return kFailed;
    if (!created->IsComplete()) {
      delete created;
      return kFailed;
    }
    g_detector = created;
    return kDone;
  }, kFailed);
}

TAVRIX_API int32_t TAVRIX_CALL Sys_Free(void) {
  if (g_detector == nullptr) return kNoDetector;
  Detector* released = g_detector;
  g_detector = nullptr;
  return Guarded([released] {
    delete released;
    return kDone;
  }, kDone);
}

TAVRIX_API int32_t TAVRIX_CALL CheckSwitch(void) {
  if (g_detector == nullptr) return kNoDetector;
  return Guarded([] {
    g_detector->PollMessages();
    return kNoDetector;  // the host cannot learn from it whether bytes arrived
  }, kNoDetector);
}

TAVRIX_API int32_t TAVRIX_CALL PanelSelect(int32_t panel) {
  if (g_detector == nullptr) return kNoDetector;
  return g_detector->PanelSelect(panel);
}

TAVRIX_API int32_t TAVRIX_CALL RunforDetector(int32_t command) {
  if (g_detector == nullptr) return command;
  return Guarded([command] { return g_detector->RunCommand(command); }, kFailed);
}

TAVRIX_API int32_t TAVRIX_CALL LoadPixelMap(const char* path, int32_t panelSelector) {
  if (g_detector == nullptr) return kNoDetector;
  return Guarded([=] { return g_detector->LoadPixelMap(path, panelSelector); }, kFailed);
}

TAVRIX_API int32_t TAVRIX_CALL LoadGainMap(const char* path, int32_t panelSelector) {
  if (g_detector == nullptr) return kNoDetector;
  return Guarded([=] { return g_detector->LoadGainMap(path, panelSelector); }, kFailed);
}

TAVRIX_API uint16_t* TAVRIX_CALL SaveRawImage(void) {
  if (g_detector == nullptr) return nullptr;
  return g_detector->Image();
}

TAVRIX_API int32_t TAVRIX_CALL CheckFrameGrabber(void) {
  if (g_detector == nullptr) return kNoDetector;
  return g_detector->IsGrabberOpen() ? 1 : 0;
}

TAVRIX_API int32_t TAVRIX_CALL GetTemperature(void) {
  if (g_detector == nullptr) return kNoDetector;
  return g_detector->Temperature();
}

TAVRIX_API int32_t TAVRIX_CALL GetSwitchMsg(int32_t position) {
  if (g_detector == nullptr) return 0;
  return Guarded([position] { return g_detector->DecodeMessage(position); }, 0);
}

TAVRIX_API int32_t TAVRIX_CALL Init_Comm(void) {
  if (g_detector == nullptr) return kNoDetector;
  return Guarded([] {
    g_detector->DrainMessages();
    return kNoDetector;
  }, kNoDetector);
}

TAVRIX_API int32_t TAVRIX_CALL Enhancement(uint16_t* source, uint16_t* destination,
                                           int32_t levels, int32_t strength,
                                           int32_t smoothingRadius, int32_t smoothingDecay) {
  if (g_detector == nullptr) return kNoDetector;
  if (source == nullptr || destination == nullptr) return kFailed;
  return Guarded([=] {
    g_detector->Enhance(source, destination, levels, strength, smoothingRadius, smoothingDecay);
    return kDone;
  }, kFailed);
}

TAVRIX_API int32_t TAVRIX_CALL GetMsgLength(void) {
  if (g_detector == nullptr) return kNoDetector;
  return g_detector->MessageLength();
}

}  // extern "C"
