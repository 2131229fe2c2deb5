#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "enhancement/enhancement_engine.h"
#include "enhancement/log_map.h"
#include "platform/dimensions.h"
#include "support/synthetic_radiograph.h"
#include "support/vector_paths.h"

namespace tavrix {
namespace {

using tavrix_test::ForEachInstructionSet;

using Image = std::vector<uint16_t>;

struct Parameters {
  int32_t levels, strength, radius, decay;
};

// Everything a run leaves behind: both images and a digest of every plane.
struct Outcome {
  Image source, destination;
  std::vector<uint64_t> planes;
  bool operator==(const Outcome& o) const {
    return source == o.source && destination == o.destination && planes == o.planes;
  }
};

// FNV-1a over 64-bit words (every plane is a whole number of them).
uint64_t Digest(const void* data, size_t bytes) {
  uint64_t h = 1469598103934665603ull;
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i + 8 <= bytes; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    h = (h ^ word) * 1099511628211ull;
  }
  return h;
}

// Fills every plane with a pattern that no run writes, as if some other use
// of the engine had left it there.
void SoilPlanes(EnhancementEngine& engine, unsigned char pattern) {
  const size_t floats = kImagePixels * sizeof(float);
  for (float* plane : {engine.coefficients, engine.workPlaneA, engine.workPlaneB, engine.logImage})
    std::memset(plane, pattern, floats);
  std::memset(engine.smoothingCopy, pattern, kImagePixels * sizeof(uint16_t));
  std::memset(engine.histogram, pattern, kHistogramBins * sizeof(int32_t));
  std::memset(engine.valueCounts, pattern, kLogMapValueCount * sizeof(int32_t));
}

Outcome RunEngine(EnhancementEngine& engine, const Image& picture, Parameters p, bool plain,
                  unsigned char soil = 0) {
  if (soil != 0) SoilPlanes(engine, soil);
  Outcome o{picture, Image(kImagePixels, 0x5A5A), {}};
  (engine.*(plain ? &EnhancementEngine::EnhancePlain : &EnhancementEngine::Enhance))(
      o.source.data(), o.destination.data(), p.levels, p.strength, p.radius, p.decay,
      kImageWidth, kImageHeight);
  const size_t floats = kImagePixels * sizeof(float);
  for (const float* plane :
       {engine.coefficients, engine.workPlaneA, engine.workPlaneB, engine.logImage})
    o.planes.push_back(Digest(plane, floats));
  o.planes.push_back(Digest(engine.smoothingCopy, kImagePixels * sizeof(uint16_t)));
  o.planes.push_back(Digest(engine.histogram, kHistogramBins * sizeof(int32_t)));
  return o;
}

TEST(EnhanceFast, MatchesPlainRunOnRadiographAndCheckerboardOnEveryPath) {
  EnhancementEngine engine;
  ASSERT_TRUE(engine.IsComplete());
  const Image picture = tavrix_test::SyntheticRadiograph(kImageWidth, kImageHeight);
  Image checker(kImagePixels);
  for (size_t i = 0; i < kImagePixels; ++i)
    checker[i] = ((i / kImageWidth + i % kImageWidth) % 2) ? 65535 : 0;
  struct Case {
    const char* name;
    const Image* image;
    Parameters parameters;
  };
  for (const Case& c : {Case{"radiograph", &picture, {5, 10, 3, 10}},
                        Case{"radiograph", &picture, {3, -40, 1, 1}},
                        Case{"checkerboard", &checker, {5, 100, 3, 1}},
                        // Each number of levels leaves different blocks of the planes written.
                        Case{"radiograph", &picture, {1, 20, 2, 5}},
                        Case{"radiograph", &picture, {2, 10, 3, 10}},
                        Case{"radiograph", &picture, {4, 60, 3, 20}},
                        Case{"radiograph", &picture, {-1, 10, 3, 10}},
                        // Returns early after the clearing: nothing of the last run may stay.
                        Case{"radiograph", &picture, {5, 0, 3, 10}}}) {
    const Outcome plain = RunEngine(engine, *c.image, c.parameters, true, 0x3C);
    ForEachInstructionSet([&](InstructionSet) {
      if (c.parameters.strength == 0) RunEngine(engine, picture, {5, 10, 3, 10}, false);
      // Whatever the planes held before, the run leaves them as the plain run.
      ASSERT_TRUE(RunEngine(engine, *c.image, c.parameters, false, 0x7F) == plain)
          << c.name << ", levels " << c.parameters.levels << ", strength "
          << c.parameters.strength;
    });
  }
}

}  // namespace
}  // namespace tavrix
