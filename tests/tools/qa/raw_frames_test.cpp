// The scenes reach the measurements unchanged through the raw frame, its
// readout and the correction with neutral maps, the path `tavrix qa` takes.
#include <gtest/gtest.h>

#include <algorithm>

#include "data_area.h"
#include "imaging_physics.h"
#include "tavrix_internal.h"

namespace sim = pci_frm01_sim;

TEST(ImagingPhysicsFrames, CorrectWithNeutralMapsToTheRenderedImageInTheDataArea) {
  using namespace tavrix_qa;
  tavrix::internal::PanelMaps neutral;
  std::fill_n(neutral.PixelMap(), tavrix::kPixelMapBytes, tavrix::kGoodPixel);
  std::fill_n(neutral.GainMap(), tavrix::kImagePixels, 1.0f);
  sim::EdgeScene scene;
  scene.direction = sim::EdgeDirection::kVertical;
  for (const std::vector<uint16_t>& rendered :
       {sim::RenderEdge(sim::ImagingModel{}, scene, 5), sim::RenderFlat(sim::ImagingModel{}, 5, 0, 2.5)}) {
    std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes), 0xAB);
    sim::ImageToRawFrame(rendered.data(), raw.data());
    std::vector<uint16_t> image(size_t(kWidth) * kHeight);
    tavrix::internal::ReadOut(raw.data(), image.data());
    tavrix::internal::Correct(image.data(), neutral);
    size_t different = 0;
    for (int32_t r = 0; r < kHeight; ++r)
      for (int32_t c = 0; c < kWidth; ++c)
        if (InDataArea(r, c) && image[size_t(r) * kWidth + size_t(c)] != rendered[size_t(r) * kWidth + size_t(c)]) ++different;
    EXPECT_EQ(different, 0u);
  }
}
