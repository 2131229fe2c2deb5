// The door and the exports reach the same core: a stored frame read out and
// corrected through the door gives the image that acquiring the same frame
// with the same maps gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "interface/tavrix_internal.h"
#include "simulated_panel.h"
#include "support/detector_fixture.h"

namespace {

using tavrix_test::DetectorTest;
using tavrix_test::TemporaryFile;

// A frame with every kind of pixel the correction treats: dark, bright,
// saturated and ordinary values from a fixed pseudo-random sequence.
std::vector<uint8_t> PatternFrame() {
  std::vector<uint16_t> image(tavrix::kImagePixels);
  uint32_t state = 12345;
  for (uint16_t& pixel : image) {
    state = state * 1664525u + 1013904223u;
    pixel = uint16_t((state >> 8) % (tavrix::kMaxPixelValue + 1));
  }
  std::vector<uint8_t> frame(tavrix::kRawFrameBytes);
  tavrix::internal::Scramble(image.data(), frame.data());
  return frame;
}

std::vector<uint8_t> Bytes(const void* data, size_t count) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + count);
}

TEST_F(DetectorTest, StoredFrameThroughTheDoorEqualsTheSameFrameAcquired) {
  tavrix::internal::PanelMaps maps;
  pci_frm01_sim::BuildPixelMap(maps.PixelMap());
  pci_frm01_sim::BuildGainMap(maps.GainMap());
  const TemporaryFile pixelMap(Bytes(maps.PixelMap(), tavrix::kPixelMapBytes));
  const TemporaryFile gainMap(Bytes(maps.GainMap(), tavrix::kGainMapBytes));  // this host's order
  const int32_t panel = 1;
  ASSERT_EQ(LoadPixelMap(pixelMap.path(), panel), 1);
  ASSERT_EQ(LoadGainMap(gainMap.path(), panel), 1);
  ASSERT_EQ(PanelSelect(panel), panel);

  const std::vector<uint8_t> frame = PatternFrame();
  PCI_FRM01_SimInjectFrame(frame.data(), int32_t(frame.size()));
  ASSERT_EQ(RunforDetector(TAVRIX_RUN_ARM), 1);
  ASSERT_EQ(RunforDetector(TAVRIX_RUN_ACQUIRE), 1);
  const uint16_t* acquired = SaveRawImage();
  ASSERT_NE(acquired, nullptr);

  std::vector<uint16_t> stored(tavrix::kImagePixels);
  tavrix::internal::ReadOut(frame.data(), stored.data());
  tavrix::internal::Correct(stored.data(), maps);
  const auto firstDifference = std::mismatch(stored.begin(), stored.end(), acquired).first - stored.begin();
  EXPECT_EQ(size_t(firstDifference), tavrix::kImagePixels) << "first differing pixel " << firstDifference;
}

}  // namespace
