// Frame-grabber simulator: the functions of PCI_FRM01 without the card.
#include "pci_frm01_sim.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "grabber/frame_grabber.h"
#include "calibration_scene.h"
#include "simulated_panel.h"

namespace {

constexpr int32_t kDeviceHandle = 1;
constexpr int32_t kNotReadyPollsAfterStart = 3;

// A card that misbehaves in one way, chosen by PCI_FRM01_SIM_FAULT.
enum class Fault { None, NeverReady, StaleReady, GetFrameError, ShortFrame, UartFlood, UartNegative, OpenFails };

const struct {
  const char* name;
  Fault fault;
} kFaults[] = {
    {"never-ready", Fault::NeverReady},        // LVDS_Check always 0
    {"stale-ready", Fault::StaleReady},        // LVDS_Check always nonzero
    {"getframe-error", Fault::GetFrameError},  // LVDS_GetFrame fails and writes nothing
    {"short-frame", Fault::ShortFrame},        // LVDS_GetFrame writes half the frame
    {"uart-flood", Fault::UartFlood},          // UART_GetData ignores the length asked for
    {"uart-negative", Fault::UartNegative},    // UART_GetData reports a negative length
    {"open-fails", Fault::OpenFails},          // OpenDAQDevice returns -1
};

// A flooding serial channel reports this many bytes but writes only as many
// as the 1,024-byte receive buffer of the card's callers holds: a caller with
// a smaller buffer is caught by the sanitizers, and the simulator itself never
// corrupts memory beyond such a buffer. Bytes beyond those queued are 'v'.
constexpr int32_t kFloodReportedBytes = 4096;
constexpr size_t kFloodWrittenBytes = 1024;
constexpr uint8_t kFloodFiller = 'v';
constexpr int32_t kNegativeLength = -1;

struct Simulator {
  bool configured = false;
  std::string log;
  Fault fault = Fault::None;
  int32_t faultAfterFrames = 0;  // frames delivered well before the fault starts
  int32_t openResult = kDeviceHandle;
  std::deque<int32_t> checkScript;
  int32_t checkThereafter = PCI_FRM01_SIM_DEFAULT;
  int32_t pollsSinceStart = 0;
  bool transferRunning = false;
  std::deque<std::vector<uint8_t>> injectedFrames;
  // A delivered frame's storage, kept for the next injection: a card hands
  // over a frame without the host's allocator freeing anything mid-transfer.
  std::vector<uint8_t> spareFrame;
  std::string framesPath;
  uint32_t framesInFile = 0;
  uint32_t nextFrame = 0;
  int32_t framesDelivered = 0;
  std::vector<uint8_t> serial;
  size_t serialPosition = 0;
  // Calibration scenes (PCI_FRM01_SIM_SCENE); no panel: the phantom as ever.
  std::vector<pci_frm01_sim::SceneStep> scenes;
  std::unique_ptr<pci_frm01_sim::CalibrationPanel> scenePanel;
};

Simulator& State() {
  static Simulator simulator;
  return simulator;
}

void Warn(const std::string& message) { std::fprintf(stderr, "PCI_FRM01 simulator: %s\n", message.c_str()); }

void ConfigureFramesFile(Simulator& s, const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    Warn(std::string("cannot open ") + path + "; synthesising frames instead");
    return;
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  if (size < tavrix::kRawFrameBytes) {
    Warn(std::string(path) + " holds less than one raw frame of 16204480 bytes; synthesising frames instead");
    return;
  }
  s.framesPath = path;
  s.framesInFile = uint32_t(size / tavrix::kRawFrameBytes);
}

void ConfigureSerialFile(Simulator& s, const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    Warn(std::string("cannot open ") + path + "; no serial bytes");
    return;
  }
  uint8_t chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) s.serial.insert(s.serial.end(), chunk, chunk + got);
  std::fclose(file);
}

// A schedule of calibration scenes on the panel of PCI_FRM01_SIM_SEED
// (default 1); only the phantom alone keeps the fixed demonstration panel.
void ConfigureScenes(Simulator& s, const char* text, const char* seedText) {
  std::string error;
  if (!pci_frm01_sim::ParseSceneSchedule(text, s.scenes, error)) {
    Warn("PCI_FRM01_SIM_SCENE: " + error + "; simulating the phantom");
    s.scenes.clear();
    return;
  }
  bool phantomOnly = true;
  for (const auto& step : s.scenes) phantomOnly = phantomOnly && step.kind == pci_frm01_sim::SceneKind::kPhantom;
  if (phantomOnly) return;
  const uint32_t seed = seedText != nullptr && *seedText != '\0' ? uint32_t(std::strtoul(seedText, nullptr, 10)) : 1u;
  s.scenePanel = std::make_unique<pci_frm01_sim::CalibrationPanel>(seed);
}

// Unset or empty: no fault. An unknown name is reported each time the
// settings are read and simulates a card without faults.
Fault ParseFault(const char* name) {
  if (name == nullptr || *name == '\0') return Fault::None;
  for (const auto& entry : kFaults)
    if (std::strcmp(name, entry.name) == 0) return entry.fault;
  Warn(std::string("unknown PCI_FRM01_SIM_FAULT=") + name + "; simulating a card without faults");
  return Fault::None;
}

// The fault in effect now: none until `faultAfterFrames` frames went out.
Fault ActiveFault(const Simulator& s) {
  return s.framesDelivered >= s.faultAfterFrames ? s.fault : Fault::None;
}

Simulator& Configured() {
  Simulator& s = State();
  if (s.configured) return s;
  s.configured = true;
  const char* device = std::getenv("PCI_FRM01_SIM_DEVICE");
  if (device != nullptr && std::strcmp(device, "absent") == 0) s.openResult = tavrix::kNoDevice;
  s.fault = ParseFault(std::getenv("PCI_FRM01_SIM_FAULT"));
  if (s.fault == Fault::OpenFails) s.openResult = tavrix::kNoDevice;
  const char* after = std::getenv("PCI_FRM01_SIM_FAULT_AFTER");
  s.faultAfterFrames = after != nullptr ? std::max(0, std::atoi(after)) : 0;
  // Set but empty means unset, as for the fault.
  const char* frames = std::getenv("PCI_FRM01_SIM_FRAMES");
  if (frames != nullptr && *frames != '\0') ConfigureFramesFile(s, frames);
  const char* uart = std::getenv("PCI_FRM01_SIM_UART");
  if (uart != nullptr && *uart != '\0') ConfigureSerialFile(s, uart);
  const char* scene = std::getenv("PCI_FRM01_SIM_SCENE");
  if (scene != nullptr && *scene != '\0') ConfigureScenes(s, scene, std::getenv("PCI_FRM01_SIM_SEED"));
  return s;
}

void Record(const char* name) {
  Simulator& s = Configured();
  if (!s.log.empty()) s.log += ';';
  s.log += name;
}

void Record(const char* name, int32_t argument) {
  Record((std::string(name) + "(" + std::to_string(argument) + ")").c_str());
}

bool ReadFrameFromFile(Simulator& s, uint8_t* buffer) {
  std::FILE* file = std::fopen(s.framesPath.c_str(), "rb");
  if (file == nullptr) return false;
  const long offset = long(s.nextFrame) * tavrix::kRawFrameBytes;
  const bool ok = std::fseek(file, offset, SEEK_SET) == 0 &&
                  std::fread(buffer, 1, size_t(tavrix::kRawFrameBytes), file) == size_t(tavrix::kRawFrameBytes);
  std::fclose(file);
  s.nextFrame = (s.nextFrame + 1) % s.framesInFile;
  return ok;
}

// One whole raw frame from the next source: injected, file, synthesised.
void ProduceFrame(Simulator& s, uint8_t* out) {
  if (!s.injectedFrames.empty()) {
    const std::vector<uint8_t>& frame = s.injectedFrames.front();
    // Like a DMA transfer: each byte of the frame is written once.
    std::memcpy(out, frame.data(), frame.size());
    std::memset(out + frame.size(), 0, size_t(tavrix::kRawFrameBytes) - frame.size());
    s.spareFrame = std::move(s.injectedFrames.front());
    s.injectedFrames.pop_front();
  } else if (s.framesInFile > 0 && ReadFrameFromFile(s, out)) {
    return;
  } else if (s.scenePanel) {
    const uint32_t index = uint32_t(s.framesDelivered);
    s.scenePanel->ComposeRawFrame(pci_frm01_sim::StepOfFrame(s.scenes, index), index, out);
  } else {
    pci_frm01_sim::ComposeRawFrame(out, uint32_t(s.framesDelivered));
  }
}

// Copies up to `limit` queued serial bytes to `out`; returns how many.
size_t DeliverSerial(Simulator& s, uint8_t* out, size_t limit) {
  const size_t count = std::min(s.serial.size() - s.serialPosition, limit);
  if (count > 0) std::memcpy(out, s.serial.data() + s.serialPosition, count);
  s.serialPosition += count;
  return count;
}

}  // namespace

extern "C" {

PCI_FRM01_API int32_t PCI_FRM01_CALL OpenDAQDevice(void) {
  Record("OpenDAQDevice");
  return State().openResult;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Init(void) {
  Record("LVDS_Init");
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL UART_Init(void) {
  Record("UART_Init");
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_SetModel(int32_t model) {
  Record("LVDS_SetModel", model);
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Start(void) {
  Record("LVDS_Start");
  Simulator& s = State();
  s.transferRunning = true;
  s.pollsSinceStart = 0;
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Check(void) {
  Record("LVDS_Check");
  Simulator& s = State();
  if (!s.checkScript.empty()) {
    const int32_t result = s.checkScript.front();
    s.checkScript.pop_front();
    if (result != PCI_FRM01_SIM_DEFAULT) return result;
  } else if (s.checkThereafter != PCI_FRM01_SIM_DEFAULT) {
    return s.checkThereafter;
  }
  if (ActiveFault(s) == Fault::NeverReady) return 0;
  if (ActiveFault(s) == Fault::StaleReady) return 1;
  if (!s.transferRunning) return 0;
  return ++s.pollsSinceStart > kNotReadyPollsAfterStart ? 1 : 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_GetFrame(int32_t* byteCount, void* buffer) {
  Record("LVDS_GetFrame", byteCount != nullptr ? *byteCount : -1);
  Simulator& s = State();
  if (buffer == nullptr) return -1;
  s.transferRunning = false;
  if (ActiveFault(s) == Fault::GetFrameError) {
    if (byteCount != nullptr) *byteCount = 0;
    return -1;
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int32_t written = tavrix::kRawFrameBytes;
  if (ActiveFault(s) == Fault::ShortFrame) {
    std::vector<uint8_t> whole(static_cast<size_t>(tavrix::kRawFrameBytes));
    ProduceFrame(s, whole.data());
    written /= 2;
    std::memcpy(out, whole.data(), size_t(written));
  } else {
    ProduceFrame(s, out);
  }
  ++s.framesDelivered;
  if (byteCount != nullptr) *byteCount = written;
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL UART_GetData(int32_t* length, void* buffer) {
  Record("UART_GetData", length != nullptr ? *length : -1);
  Simulator& s = State();
  if (length == nullptr || buffer == nullptr) return -1;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  switch (ActiveFault(s)) {
    case Fault::UartNegative:
      *length = kNegativeLength;
      return 0;
    case Fault::UartFlood: {
      const size_t count = DeliverSerial(s, out, kFloodWrittenBytes);
      std::memset(out + count, kFloodFiller, kFloodWrittenBytes - count);
      *length = kFloodReportedBytes;
      return 0;
    }
    default:
      if (*length <= 0) return -1;
      *length = int32_t(DeliverSerial(s, out, size_t(*length)));
      return 0;
  }
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_Close(void) {
  Record("LVDS_Close");
  State().transferRunning = false;
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL UART_Close(void) {
  Record("UART_Close");
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL CloseDAQDevice(void) {
  Record("CloseDAQDevice");
  return 0;
}

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimReset(void) {
  State() = Simulator();
  Configured();
}

PCI_FRM01_API const char* PCI_FRM01_CALL PCI_FRM01_SimCallLog(void) { return Configured().log.c_str(); }

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimClearCallLog(void) { Configured().log.clear(); }

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimScriptOpen(int32_t result) { Configured().openResult = result; }

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimScriptCheck(const int32_t* results, int32_t count,
                                                           int32_t thereafter) {
  Simulator& s = Configured();
  s.checkScript.clear();
  for (int32_t i = 0; results != nullptr && i < count; ++i) s.checkScript.push_back(results[i]);
  s.checkThereafter = thereafter;
}

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimInjectFrame(const void* frame, int32_t bytes) {
  if (frame == nullptr || bytes < 0) return;
  const size_t size = std::min(size_t(bytes), size_t(tavrix::kRawFrameBytes));
  const uint8_t* begin = static_cast<const uint8_t*>(frame);
  Simulator& s = Configured();
  std::vector<uint8_t> queued = std::move(s.spareFrame);
  queued.assign(begin, begin + size);
  s.injectedFrames.push_back(std::move(queued));
}

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimInjectSerial(const void* bytes, int32_t count) {
  if (bytes == nullptr || count <= 0) return;
  const uint8_t* begin = static_cast<const uint8_t*>(bytes);
  Configured().serial.insert(Configured().serial.end(), begin, begin + count);
}

PCI_FRM01_API int32_t PCI_FRM01_CALL PCI_FRM01_SimFramesDelivered(void) { return Configured().framesDelivered; }

}  // extern "C"
