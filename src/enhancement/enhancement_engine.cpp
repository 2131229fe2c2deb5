#include "enhancement/enhancement_engine.h"

#include <algorithm>
#include <cstring>

#include "platform/allocation.h"
#include "platform/dimensions.h"
#include "enhancement/log_map.h"

namespace tavrix {
namespace {

// The six-tap Daubechies low-pass filter scaled to a sum of 1, stored from its
// bit patterns so that every build holds exactly the same floats.
constexpr uint32_t kLowPassBits[kTapCount] = {0x3E70E114u, 0x3F12101Eu, 0x3EA67E52u,
                                              0xBDC38450u, 0xBD7776E0u, 0x3CCC0D6Fu};

float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

EnhancementEngine::EnhancementEngine() {
  maxWidth = kImageWidth;
  maxHeight = kImageHeight;
  width = kImageWidth;
  height = kImageHeight;
  phaseShift = 2;
  tapCount = kTapCount;

  const size_t plane = PlaneElements();
  lineBuffer = AllocateArray<float>(LineElements());
  coefficients = AllocateArray<float>(plane);
  workPlaneA = AllocateArray<float>(plane);
  workPlaneB = AllocateArray<float>(plane);
  logImage = AllocateArray<float>(plane);
  smoothingCopy = AllocateArray<uint16_t>(plane);
  histogram = AllocateArray<int32_t>(size_t(kHistogramBins));
  lowPass = AllocateArray<float>(size_t(kTapCount));
  if (lowPass != nullptr) {
    for (int32_t t = 0; t < kTapCount; ++t) lowPass[t] = FloatFromBits(kLowPassBits[t]);
  }
  logMapTable = AllocateArray<uint16_t>(kLogMapTableSize);
  if (logMapTable != nullptr) BuildLogMapTable(logMapTable);
  logImageTable = AllocateArray<float>(kLogMapTableSize);
  if (logImageTable != nullptr) BuildLogImageTable(logImageTable);
  valueCounts = AllocateArray<int32_t>(kValueCountElements);
}

EnhancementEngine::~EnhancementEngine() {
  ReleaseArray(lineBuffer);
  ReleaseArray(coefficients);
  ReleaseArray(workPlaneA);
  ReleaseArray(workPlaneB);
  ReleaseArray(logImage);
  ReleaseArray(smoothingCopy);
  ReleaseArray(histogram);
  ReleaseArray(lowPass);
  ReleaseArray(logMapTable);
  ReleaseArray(logImageTable);
  ReleaseArray(valueCounts);
}

bool EnhancementEngine::IsComplete() const {
  return lineBuffer && coefficients && workPlaneA && workPlaneB && logImage && smoothingCopy &&
         histogram && lowPass && logMapTable && logImageTable && valueCounts;
}

size_t EnhancementEngine::PlaneElements() const { return size_t(maxWidth) * size_t(maxHeight); }

size_t EnhancementEngine::LineElements() const { return size_t(std::max(maxWidth, maxHeight)); }

}  // namespace tavrix
