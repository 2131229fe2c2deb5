// The tests' and benchmarks' one way into a detector's private state: to
// check what creation and the operations leave behind, and to set up states
// the exports cannot reach, such as an acquisition already running.
#pragma once

#include <cstdint>

#include "detector/detector.h"
#include "support/enhancement_engine_probe.h"

namespace tavrix {

class DetectorProbe {
 public:
  explicit DetectorProbe(Detector& detector) : detector_(detector) {}

  int32_t Width() const { return detector_.width; }
  int32_t Height() const { return detector_.height; }
  int32_t MapWidth() const { return detector_.mapWidth; }
  int32_t MapHeight() const { return detector_.mapHeight; }
  int32_t GrabberOpen() const { return detector_.grabberOpen; }

  int32_t& Panel() const { return detector_.panel; }
  int32_t& Temperature() const { return detector_.temperature; }
  int32_t& Busy() const { return detector_.busy; }
  int32_t& Armed() const { return detector_.armed; }
  uint8_t& ArmedByte() const { return detector_.armedByte; }

  uint8_t* RawFrame() const { return detector_.rawFrame; }
  uint8_t* RxBuffer() const { return detector_.rxBuffer; }
  uint8_t** PixelMap(int32_t panel) const { return detector_.pixelMaps[panel]; }
  float** GainMap(int32_t panel) const { return detector_.gainMaps[panel]; }
  EnhancementEngineProbe Engine() const { return EnhancementEngineProbe(detector_.engine); }

 private:
  Detector& detector_;
};

}  // namespace tavrix
