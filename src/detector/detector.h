#pragma once

#include <cstdint>

#include "platform/dimensions.h"
#include "enhancement/enhancement_engine.h"

namespace tavrix {

// The one object that holds all state of the library: the frame grabber's
// state, every buffer, both panels' calibration maps and the enhancement
// engine. Its operations only orchestrate: each hands the steps of the other
// folders (grabber, acquisition, messages, correction, enhancement) exactly
// what they read and write. Its state is reached only through these
// operations; the tests reach it through their DetectorProbe.
class Detector {
 public:
  // Creates the object in the fixed order: engine, dimensions and flags,
  // frame grabber, buffers, maps. Check IsComplete() before use.
  Detector();
  virtual ~Detector();
  Detector(const Detector&) = delete;
  Detector& operator=(const Detector&) = delete;

  // False when any buffer could not be allocated; the object must then be
  // destroyed, which releases what was allocated and closes the grabber.
  bool IsComplete() const;

  // Panel and maps.
  int32_t PanelSelect(int32_t newPanel);
  int32_t LoadPixelMap(const char* path, int32_t panelSelector);
  int32_t LoadGainMap(const char* path, int32_t panelSelector);

  // Acquisition.
  int32_t RunCommand(int32_t command);
  bool CaptureFrame();
  void ReadFrame(uint16_t* target);
  uint16_t* CorrectImage();

  // Serial messages.
  void PollMessages();
  void DrainMessages();
  int32_t DecodeMessage(int32_t position);

  // The engine's run on an image of the detector's size.
  void Enhance(uint16_t* source, uint16_t* destination, int32_t levels, int32_t strength,
               int32_t smoothingRadius, int32_t smoothingDecay);

  // The host reads, and may write, the image buffer in place.
  uint16_t* Image() { return image; }
  const uint16_t* Image() const { return image; }
  const uint8_t* RawFrame() const { return rawFrame; }
  bool IsGrabberOpen() const { return grabberOpen != 0; }
  int32_t Temperature() const { return temperature; }
  int32_t MessageLength() const { return messageLength; }

 private:
  // The tests' one way in (tests/support/detector_probe.h).
  friend class DetectorProbe;

  bool AllocateBuffers();
  void ReleaseBuffers();
  void ResetPixelMap(uint8_t** map);
  void ResetGainMap(float** map);
  void OpenFrameGrabber();
  void CloseFrameGrabber();
  int32_t Arm();
  int32_t Acquire();
  int32_t Cancel();
  // The readout of the frame in rawFrame into `target`.
  void ReadOutRawFrame(uint16_t* target);

  float** gainMaps[kPanelCount] = {nullptr, nullptr};
  uint8_t** pixelMaps[kPanelCount] = {nullptr, nullptr};
  int32_t panel = 0;
  EnhancementEngine engine;
  int32_t grabberOpen = 0;
  int32_t messageLength = 0;
  int32_t temperature = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t mapWidth = 0;
  int32_t mapHeight = 0;
  int32_t busy = 0;
  int32_t armed = 0;
  uint16_t* image = nullptr;
  uint8_t* rawFrame = nullptr;
  uint8_t* rxBuffer = nullptr;
  uint8_t armedByte = 0;
  bool complete_ = false;
};

}  // namespace tavrix
