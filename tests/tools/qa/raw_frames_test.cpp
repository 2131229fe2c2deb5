// The scenes reach the measurements unchanged through the raw frame, its
// readout and the correction with neutral maps, the path `tavrix qa` takes.
#include <gtest/gtest.h>

#include "acquisition/read_frame.h"
#include "correction/correct_image.h"
#include "data_area.h"
#include "grabber/frame_grabber.h"
#include "imaging_physics.h"

namespace sim = pci_frm01_sim;

TEST(ImagingPhysicsFrames, CorrectWithNeutralMapsToTheRenderedImageInTheDataArea) {
  using namespace tavrix_qa;
  const std::vector<uint8_t> pixelMap(size_t(kWidth + 1) * (kHeight + 1), 0);
  const std::vector<float> gainMap(size_t(kWidth) * kHeight, 1.0f);
  std::vector<const uint8_t*> pixelRows;
  std::vector<const float*> gainRows;
  for (int32_t r = 0; r <= kHeight; ++r) pixelRows.push_back(pixelMap.data() + size_t(r) * (kWidth + 1));
  for (int32_t r = 0; r < kHeight; ++r) gainRows.push_back(gainMap.data() + size_t(r) * kWidth);
  sim::EdgeScene scene;
  scene.direction = sim::EdgeDirection::kVertical;
  for (const std::vector<uint16_t>& rendered :
       {sim::RenderEdge(sim::ImagingModel{}, scene, 5), sim::RenderFlat(sim::ImagingModel{}, 5, 0, 2.5)}) {
    std::vector<uint8_t> raw(tavrix::kRawFrameBufferBytes, 0xAB);
    sim::ImageToRawFrame(rendered.data(), raw.data());
    std::vector<uint16_t> image(size_t(kWidth) * kHeight);
    tavrix::ReadOutFrame(raw.data(), image.data(), kWidth, kHeight);
    tavrix::CorrectImage(image.data(), kWidth, kHeight, pixelRows.data(), gainRows.data());
    size_t different = 0;
    for (int32_t r = 0; r < kHeight; ++r)
      for (int32_t c = 0; c < kWidth; ++c)
        if (InDataArea(r, c) && image[size_t(r) * kWidth + size_t(c)] != rendered[size_t(r) * kWidth + size_t(c)]) ++different;
    EXPECT_EQ(different, 0u);
  }
}
