// The vector kernels of every step, in one table per target. Each kernel's
// source (*_simd.cpp) is written once and compiled once per target inside a
// namespace named after it (baseline, avx2, avx512); ActiveKernels() is the
// one place that picks a table, from the processor and the limit tests set.
// Every table gives the same results; the choice only changes the cost.
#pragma once

#include <cstdint>

#include "platform/instruction_set.h"

namespace tavrix {

struct FinalOutput;  // what the last enlargement writes (enhancement/reconstruction.h)

#define TAVRIX_KERNEL_SIGNATURES(X)                                                              \
  /* Readout: rows of a multiple of 64 bytes. */                                                 \
  X(void, UnscrambleFrame, (const uint8_t* rawFrame, uint16_t* image, int32_t width,             \
                            int32_t height))                                                     \
  /* Impulse filter: marks[i] != 0 where pixel (y, first + i) needs the exact test; */           \
  /* kImpulseMarkLanes <= count <= kImpulseMarkRun. */                                           \
  X(void, MarkImpulseCandidates, (const uint16_t* image, int32_t width, int32_t y,               \
                                  int32_t first, int32_t count, uint8_t* marks))                 \
  /* Gain: pixels first..end-1 of one row. */                                                    \
  X(void, ApplyGainRow, (uint16_t* row, const float* gains, int32_t first, int32_t end))         \
  /* Smoothing: the interior of source from copy, radius at most kMaxKernelRadius. */            \
  X(void, ConvolveInterior, (uint16_t* source, const uint16_t* copy, const double* kernel,       \
                             int32_t radius, int32_t width, int32_t height, double inverse))     \
  /* Decomposition: six taps shifted by two, even lengths of at least 8. */                      \
  X(void, FilterColumns, (int32_t columns, int32_t rows, const float* taps, const float* source, \
                          float* destination, int32_t stride))                                   \
  X(void, FilterRows, (int32_t columns, int32_t rows, const float* taps, float* plane,           \
                       int32_t stride, float* lineBuffer))                                       \
  /* Reconstruction: one enlargement. */                                                         \
  X(void, UpsampleLevel, (const float* source, float* plane, int32_t stride, int32_t columns,    \
                          int32_t rows, const FinalOutput& output, bool last))

struct Kernels {
  InstructionSet target;
  // Pixels the impulse marking tests at once: a call marks at least this many.
  int32_t impulseMarkLanes;
#define TAVRIX_KERNEL_POINTER(result, name, parameters) result(*name) parameters;
  TAVRIX_KERNEL_SIGNATURES(TAVRIX_KERNEL_POINTER)
#undef TAVRIX_KERNEL_POINTER
};

// The table of the path the steps take.
const Kernels& ActiveKernels();

// Each target's kernels and table, defined in its own objects only.
#define TAVRIX_KERNEL_DECLARATION(result, name, parameters) result name parameters;
#define TAVRIX_TARGET_KERNELS(target)                  \
  namespace target {                                   \
  TAVRIX_KERNEL_SIGNATURES(TAVRIX_KERNEL_DECLARATION)  \
  extern const Kernels kKernels;                       \
  }
TAVRIX_TARGET_KERNELS(baseline)
TAVRIX_TARGET_KERNELS(avx2)
TAVRIX_TARGET_KERNELS(avx512)
#undef TAVRIX_TARGET_KERNELS
#undef TAVRIX_KERNEL_DECLARATION

}  // namespace tavrix
