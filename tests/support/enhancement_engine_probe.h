// The tests' and benchmarks' one way into an enhancement engine's private
// state: to check what creation and a run leave in its planes, tables and
// parameters, to soil its planes before a run, and to run single steps on
// the planes a full run has filled.
#pragma once

#include <cstdint>

#include "enhancement/band_processing.h"
#include "enhancement/decomposition.h"
#include "enhancement/enhancement_engine.h"

namespace tavrix {

class EnhancementEngineProbe {
 public:
  explicit EnhancementEngineProbe(EnhancementEngine& engine) : engine_(engine) {}

  // What the last run took and derived.
  int32_t Width() const { return engine_.width; }
  int32_t Levels() const { return engine_.levels; }
  int32_t WindowSize() const { return engine_.windowSize; }
  int32_t SmoothingRadius() const { return engine_.smoothingRadius; }
  double SmoothingDecay() const { return engine_.smoothingDecay; }
  int32_t WindowLow() const { return engine_.windowLow; }
  int32_t WindowHigh() const { return engine_.windowHigh; }
  float Gain() const { return engine_.gain; }
  float Centre() const { return engine_.centre; }
  int32_t BandWidth() const { return engine_.bandWidth; }
  int32_t BandHeight() const { return engine_.bandHeight; }
  int32_t TapCount() const { return engine_.tapCount; }
  int32_t PhaseShift() const { return engine_.phaseShift; }

  // Planes, tables and scratch.
  double* Kernel() const { return engine_.kernel; }
  int32_t* Histogram() const { return engine_.histogram; }
  float* LineBuffer() const { return engine_.lineBuffer; }
  float* Coefficients() const { return engine_.coefficients; }
  uint16_t* SmoothingCopy() const { return engine_.smoothingCopy; }
  float* LogImage() const { return engine_.logImage; }
  float* WorkPlaneA() const { return engine_.workPlaneA; }
  float* WorkPlaneB() const { return engine_.workPlaneB; }
  float* LowPass() const { return engine_.lowPass; }
  uint16_t* LogMapTable() const { return engine_.logMapTable; }
  float* LogImageTable() const { return engine_.logImageTable; }
  int32_t* ValueCounts() const { return engine_.valueCounts; }

  // Single steps as a run takes them, on the planes the last run left.
  LineFilter Filter() const { return {LowPass(), TapCount(), PhaseShift(), LineBuffer()}; }
  Band CoarsestBand() const { return {BandWidth(), BandHeight(), Width()}; }
  // The log image decomposed `levels` times into the coefficients, by
  // DecomposeLevel or DecomposeLevelPlain.
  template <class Decompose>
  void DecomposeLevels(Decompose decompose, int32_t levels) const {
    int32_t columns = Width(), rows = engine_.height;
    for (int32_t level = 0; level < levels; ++level, columns /= 2, rows /= 2)
      decompose(columns, rows, Filter(), level == 0 ? LogImage() : Coefficients(), Coefficients(), Width());
  }
  // The coarsest band's local means, then its corrections.
  void ProcessBand() const {
    VerticalLocalMean(Coefficients(), WorkPlaneA(), CoarsestBand(), WindowSize());
    ComputeCorrectionBand(Coefficients(), WorkPlaneA(), WorkPlaneB(), CoarsestBand(), WindowSize(), Centre(), Gain());
  }

 private:
  EnhancementEngine& engine_;
};

}  // namespace tavrix
