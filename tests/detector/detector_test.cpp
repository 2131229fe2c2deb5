#include "detector/detector.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "grabber/frame_grabber.h"

#include "support/detector_fixture.h"
#include "support/detector_probe.h"

namespace tavrix_test {
namespace {

using tavrix::Detector;
using tavrix::DetectorProbe;
using DetectorCreation = SimulatorTest;

bool AllEqual(const uint8_t* begin, size_t count, uint8_t value) {
  return std::all_of(begin, begin + count, [value](uint8_t b) { return b == value; });
}

TEST_F(DetectorCreation, SetsDimensionsAndFlags) {
  Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const DetectorProbe probe(detector);
  EXPECT_EQ(probe.Width(), 3072);
  EXPECT_EQ(probe.Height(), 3072);
  EXPECT_EQ(probe.MapWidth(), 3073);
  EXPECT_EQ(probe.MapHeight(), 3073);
  EXPECT_EQ(detector.MessageLength(), 64);
  EXPECT_EQ(probe.Panel(), 0);
  EXPECT_EQ(probe.Temperature(), 0);
  EXPECT_EQ(probe.Busy(), 0);
  EXPECT_EQ(probe.Armed(), 0);
  EXPECT_EQ(probe.ArmedByte(), 0);
  EXPECT_EQ(probe.GrabberOpen(), 1);
}

TEST_F(DetectorCreation, GivesEveryBufferADefinedContent) {
  Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const DetectorProbe probe(detector);
  EXPECT_TRUE(std::all_of(detector.Image(), detector.Image() + tavrix::kImagePixels,
                          [](uint16_t p) { return p == 0; }));
  EXPECT_TRUE(AllEqual(probe.RawFrame(), tavrix::kRawFrameBufferBytes, 0));
  EXPECT_TRUE(AllEqual(probe.RxBuffer(), tavrix::kRxBufferBytes, 0));
  for (int p = 0; p < 2; ++p) {
    for (int r = 0; r < probe.MapHeight(); ++r)
      ASSERT_TRUE(AllEqual(probe.PixelMap(p)[r], size_t(probe.MapWidth()), 0))
          << "pixel map " << p << " row " << r << " (flags included)";
    for (int r = 0; r < probe.Height(); ++r)
      ASSERT_TRUE(std::all_of(probe.GainMap(p)[r], probe.GainMap(p)[r] + probe.Width(),
                              [](float g) { return g == 1.0f; }))
          << "gain map " << p << " row " << r << " (outer rows and columns included)";
  }
}

// Pages not yet mapped would be paid for by the first exposure and
// enhancement instead of by creation.
size_t PagesNotResident(const void* block, size_t bytes) {
  const long page = sysconf(_SC_PAGESIZE);
  const uintptr_t first = reinterpret_cast<uintptr_t>(block) & ~uintptr_t(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(block) + bytes;
  std::vector<unsigned char> resident((end - first + size_t(page) - 1) / size_t(page));
  if (mincore(reinterpret_cast<void*>(first), end - first, resident.data()) != 0) return resident.size();
  return size_t(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) == 0; }));
}

TEST_F(DetectorCreation, EveryLargeBufferIsResidentBeforeTheFirstUse) {
  Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const DetectorProbe probe(detector);
  const size_t plane = size_t(probe.Width()) * size_t(probe.Height());
  EXPECT_EQ(PagesNotResident(detector.Image(), plane * sizeof(uint16_t)), 0u);
  EXPECT_EQ(PagesNotResident(probe.RawFrame(), size_t(tavrix::kRawFrameBytes)), 0u);
  const tavrix::EnhancementEngineProbe engine = probe.Engine();
  for (const float* p :
       {engine.Coefficients(), engine.WorkPlaneA(), engine.WorkPlaneB(), engine.LogImage()})
    EXPECT_EQ(PagesNotResident(p, plane * sizeof(float)), 0u);
  EXPECT_EQ(PagesNotResident(engine.SmoothingCopy(), plane * sizeof(uint16_t)), 0u);
}

TEST_F(DetectorCreation, EachRowOfAMapIsItsOwnBlock) {
  Detector detector;
  ASSERT_TRUE(detector.IsComplete());
  const DetectorProbe probe(detector);
  EXPECT_NE(probe.PixelMap(0)[0], probe.PixelMap(1)[0]);
  probe.PixelMap(1)[5][7] = 9;
  EXPECT_EQ(probe.PixelMap(0)[5][7], 0) << "the panels' maps must not share storage";
}

TEST_F(DetectorCreation, NewObjectAfterReleaseStartsNeutralAgain) {
  std::vector<uint8_t> flags(tavrix::kPixelMapBytes, 3);
  TemporaryFile file(flags);
  {
    Detector first;
    ASSERT_EQ(first.LoadPixelMap(file.path(), 0), 1);
    DetectorProbe used(first);
    used.Panel() = 1;
    used.Temperature() = 40;
  }
  Detector second;
  const DetectorProbe probe(second);
  EXPECT_EQ(probe.Panel(), 0);
  EXPECT_EQ(probe.Temperature(), 0);
  EXPECT_EQ(probe.PixelMap(0)[1][1], 0);
  EXPECT_EQ(probe.PixelMap(0)[10][3072], 0) << "row flags of the old map must be gone";
}

}  // namespace
}  // namespace tavrix_test
