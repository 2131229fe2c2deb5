#pragma once

#include <cstddef>
#include <cstdint>

#include "enhancement/display_window.h"

namespace tavrix {

constexpr int32_t kMaxKernelRadius = 3;
constexpr int32_t kMaxKernelSize = 2 * kMaxKernelRadius + 1;
constexpr int32_t kTapCount = 6;

// Multi-scale contrast enhancement in the log domain. Owns every plane it
// works in; they are allocated once, when the detector is created. Its state
// is reached only through its operations; the tests reach it through their
// EnhancementEngineProbe.
class EnhancementEngine {
 public:
  EnhancementEngine();
  virtual ~EnhancementEngine();
  EnhancementEngine(const EnhancementEngine&) = delete;
  EnhancementEngine& operator=(const EnhancementEngine&) = delete;

  // False when one of the planes or tables could not be allocated.
  bool IsComplete() const;

  // Elements of each plane: the largest image the engine takes.
  size_t PlaneElements() const;
  // Elements of the line buffer: the longest line, a row or a column, that a
  // level filters.
  size_t LineElements() const;

  // The run. EnhancePlain takes the plain version of every step: slower, and
  // what Enhance must equal bit for bit.
  void Enhance(uint16_t* source, uint16_t* destination, int32_t levels, int32_t strength,
               int32_t smoothingRadius, int32_t smoothingDecay, int32_t width, int32_t height);
  void EnhancePlain(uint16_t* source, uint16_t* destination, int32_t levels, int32_t strength,
                    int32_t smoothingRadius, int32_t smoothingDecay, int32_t width,
                    int32_t height);

 private:
  // The tests' one way in (tests/support/enhancement_engine_probe.h).
  friend class EnhancementEngineProbe;

  void Run(uint16_t* source, uint16_t* destination, int32_t levels, int32_t strength,
           int32_t smoothingRadius, int32_t smoothingDecay, int32_t width, int32_t height,
           bool plain);

  int32_t kernelSize = 0;
  int32_t kernelRadius = 0;
  int32_t smoothingRadius = 0;
  double smoothingDecay = 0.0;
  // Fixed storage: a run rebuilds the kernel but can never fail to allocate it.
  double kernel[kMaxKernelSize * kMaxKernelSize] = {};
  int32_t* histogram = nullptr;
  int32_t windowLow = 0;
  int32_t windowHigh = 0;
  float* lineBuffer = nullptr;
  float* coefficients = nullptr;
  uint16_t* smoothingCopy = nullptr;
  float* logImage = nullptr;
  float* workPlaneA = nullptr;
  float* workPlaneB = nullptr;
  float* lowPass = nullptr;
  float gain = 0.0f;
  int32_t strength = 0;
  float centre = 0.0f;
  int32_t maxWidth = 0;
  int32_t maxHeight = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t level = 0;
  int32_t bandHeight = 0;
  int32_t bandWidth = 0;
  int32_t phaseShift = 0;
  int32_t levels = 0;
  int32_t windowSize = 0;
  int32_t tapCount = 0;
  // Built once at creation from the plain expressions: a run only looks up.
  uint16_t* logMapTable = nullptr;
  float* logImageTable = nullptr;
  // Scratch of the one-pass window: a count for every value of logMapTable.
  int32_t* valueCounts = nullptr;
};

}  // namespace tavrix
