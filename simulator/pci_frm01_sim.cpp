// Frame-grabber simulator: the functions of PCI_FRM01 without the card.
#include "pci_frm01_sim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "grabber/frame_grabber.h"
#include "simulated_panel.h"

namespace {

constexpr int32_t kDeviceHandle = 1;
constexpr int32_t kNotReadyPollsAfterStart = 3;

struct Simulator {
  bool configured = false;
  std::string log;
  int32_t openResult = kDeviceHandle;
  std::deque<int32_t> checkScript;
  int32_t checkThereafter = PCI_FRM01_SIM_DEFAULT;
  int32_t pollsSinceStart = 0;
  bool transferRunning = false;
  std::deque<std::vector<uint8_t>> injectedFrames;
  std::string framesPath;
  uint32_t framesInFile = 0;
  uint32_t nextFrame = 0;
  int32_t framesDelivered = 0;
  std::vector<uint8_t> serial;
  size_t serialPosition = 0;
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

Simulator& Configured() {
  Simulator& s = State();
  if (s.configured) return s;
  s.configured = true;
  const char* device = std::getenv("PCI_FRM01_SIM_DEVICE");
  if (device != nullptr && std::strcmp(device, "absent") == 0) s.openResult = tavrix::kNoDevice;
  if (const char* frames = std::getenv("PCI_FRM01_SIM_FRAMES")) ConfigureFramesFile(s, frames);
  if (const char* uart = std::getenv("PCI_FRM01_SIM_UART")) ConfigureSerialFile(s, uart);
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
  if (!s.transferRunning) return 0;
  return ++s.pollsSinceStart > kNotReadyPollsAfterStart ? 1 : 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL LVDS_GetFrame(int32_t* byteCount, void* buffer) {
  Record("LVDS_GetFrame", byteCount != nullptr ? *byteCount : -1);
  Simulator& s = State();
  if (buffer == nullptr) return -1;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  if (!s.injectedFrames.empty()) {
    const std::vector<uint8_t>& frame = s.injectedFrames.front();
    // Like a DMA transfer: each byte of the frame is written once.
    std::memcpy(out, frame.data(), frame.size());
    std::memset(out + frame.size(), 0, size_t(tavrix::kRawFrameBytes) - frame.size());
    s.injectedFrames.pop_front();
  } else if (s.framesInFile == 0 || !ReadFrameFromFile(s, out)) {
    pci_frm01_sim::ComposeRawFrame(out, uint32_t(s.framesDelivered));
  }
  ++s.framesDelivered;
  s.transferRunning = false;
  if (byteCount != nullptr) *byteCount = tavrix::kRawFrameBytes;
  return 0;
}

PCI_FRM01_API int32_t PCI_FRM01_CALL UART_GetData(int32_t* length, void* buffer) {
  Record("UART_GetData", length != nullptr ? *length : -1);
  Simulator& s = State();
  if (length == nullptr || buffer == nullptr || *length <= 0) return -1;
  const size_t available = s.serial.size() - s.serialPosition;
  const size_t count = std::min(available, size_t(*length));
  if (count > 0) std::memcpy(buffer, s.serial.data() + s.serialPosition, count);
  s.serialPosition += count;
  *length = int32_t(count);
  return 0;
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
  Configured().injectedFrames.emplace_back(begin, begin + size);
}

PCI_FRM01_API void PCI_FRM01_CALL PCI_FRM01_SimInjectSerial(const void* bytes, int32_t count) {
  if (bytes == nullptr || count <= 0) return;
  const uint8_t* begin = static_cast<const uint8_t*>(bytes);
  Configured().serial.insert(Configured().serial.end(), begin, begin + count);
}

PCI_FRM01_API int32_t PCI_FRM01_CALL PCI_FRM01_SimFramesDelivered(void) { return Configured().framesDelivered; }

}  // extern "C"
